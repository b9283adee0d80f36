'use strict';
// The extension for GNOME 43 and 44, which load extension.js as a script with the shell's
// imports object. Only these lines differ from modules.js; the body is orbel.js.
const {Clutter, Gio, GLib, GObject, Pango, Shell, St} = imports.gi;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;
const PopupMenu = imports.ui.popupMenu;

//#include orbel.js

// The shell calls init() once with the extension's record, then enable() and disable() on
// what it returns, again after every lock of the screen.
function init(extension) {
    return new OrbelShell(extension.dir);
}
