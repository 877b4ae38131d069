// What the page's parts share: the page's elements, where the story's files go, and how the
// page stands (the module, its host, the open project, the options, the page's size).
export const byId = (id) => document.getElementById(id);
export const canvas = byId('page');
export const stage = byId('frame');
export const sizer = byId('sizer');
export const scroller = byId('scroll');
export const scrollSpace = byId('scroll-space');
export const pictureCanvas = byId('picture');
export const status = byId('status');
export const choiceBar = byId('choices');
export const notice = byId('notice');
export const backlogPanel = byId('backlog');
export const slotShown = byId('slot');
export const saveButton = byId('save');
export const loadButton = byId('load');
export const pageText = byId('page-text');
export const announcer = byId('announcer');

export const kTickMs = 55;
export const kProjectDir = '/project';
export const kProgramDir = '/'; // the player's own folder, "/", where saves go when a project ships none

export const shared = {
  player: null, // the page's module for the open project
  firstModule: null, // the module made as the page loads, until the first project takes it
  ready: null, // the page's first sizing, which the first opening waits for
  host: null, // the module's WebStoryHost, once a project is open
  project: null, // { key, fileName, baseName, slots } of the open story
  options: null, // the reader's options, once the page model has come with the module
  // The page's size in CSS pixels, the scroll bar's included: the window's until the reader or
  // an embedding page sizes it.
  pageWidth: 0,
  pageHeight: 0,
  pageSized: false,
  scrollBarWidth: 0,
  ratio: 1,
  // Full screen scales the page up by this.
  fullScale: 1,
  layout: null, // { version, ascent, text: RGBA with the replace/OR rule in alpha, ... }
  backgroundVersion: -1,
  pictureVersion: -1,
  lastState: null,
  busy: false, // the opening is asking the reader
  scrollFromHost: false,
  pagesShown: 0, // the host's count of pages put on show, to notice a new one
  menuBar: null, // the menu bar's { refresh, close, run }, when the page has one
};
