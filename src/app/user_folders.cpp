#include "app/user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "common/digest.h"
#include "common/file_writing.h"

namespace fs = std::filesystem;

namespace vrk::app {
namespace {

// The reader's home: HOME, else the password database (a service or a cron job may run the
// player without HOME). Never a shared folder such as /tmp, where another user could have made
// the player's folder first.
fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is to be
// ignored), else the fallback below the home folder.
fs::path baseDirectory(const char* variable, const fs::path& belowHome) {
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
        return value;
    }
    const fs::path home = homeDirectory();
    return home.empty() ? fs::path() : home / belowHome;
}

// dir made private when missing; true when it is a folder of this user's, not a link.
bool privateFolder(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir.parent_path(), ec);
    ::mkdir(dir.c_str(), 0700);
    struct stat info {};
    return ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

fs::path withSeparator(fs::path dir) {
    if (!dir.empty() && !dir.filename().empty()) {
        dir /= "";
    }
    return dir;
}

}  // namespace

fs::path userDataDirectory() {
    const fs::path base = baseDirectory("XDG_DATA_HOME", fs::path(".local") / "share");
    if (base.empty() || !privateFolder(base / "vrk3")) {
        return {};
    }
    return withSeparator(base / "vrk3");
}

fs::path userConfigDirectory() {
    const fs::path base = baseDirectory("XDG_CONFIG_HOME", ".config");
    return base.empty() ? fs::path() : withSeparator(base / "vrk3");
}

bool keepsFilesBesideProgram(const fs::path& programDir) {
    if (programDir.empty()) {
        return false;
    }
    // The installed layout: the program in PREFIX/lib/vrk3, started through PREFIX/bin/vrk3.
    std::error_code ec;
    const fs::path self = fs::weakly_canonical(programDir / "vrk3", ec);
    const fs::path launcher = programDir / ".." / ".." / "bin" / "vrk3";
    if (!ec && fs::exists(launcher, ec) && fs::canonical(launcher, ec) == self && !ec) {
        return false;
    }
    return directoryTakesNewFiles(programDir);
}

fs::path projectSaveFolder(const fs::path& base, const fs::path& script, const std::string& baseName) {
    std::error_code ec;
    fs::path whole = fs::weakly_canonical(script, ec);
    if (ec) {
        whole = fs::absolute(script, ec);
    }
    return withSeparator(base / (baseName + "-" + sha256Hex(whole.string(), 8)));
}

}  // namespace vrk::app
