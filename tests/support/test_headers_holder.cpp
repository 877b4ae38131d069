// The program that precompiles GoogleTest's headers for the test programs built like it; it
// holds no test of its own.
#include <gtest/gtest.h>
