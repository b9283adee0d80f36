// The extension from GNOME 45 on, which loads extension.js as an ES module and makes one
// instance of its default class. Only these lines differ from imports.js; the body is orbel.js.
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Pango from 'gi://Pango';
import Shell from 'gi://Shell';
import St from 'gi://St';

import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as PanelMenu from 'resource:///org/gnome/shell/ui/panelMenu.js';
import * as PopupMenu from 'resource:///org/gnome/shell/ui/popupMenu.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

//#include orbel.js

export default class OrbelLiteExtension extends Extension {
    enable() {
        this._shell = new OrbelShell(this.dir);
        this._shell.enable();
    }

    disable() {
        this._shell?.disable();
        this._shell = null;
    }
}
