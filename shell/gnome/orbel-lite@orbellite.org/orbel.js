// Orbel Lite's part inside GNOME Shell. The agent (orbel-lite) finds this object on the session
// bus and drives it: the break overlay over every monitor, the application in front, and a
// status indicator in the top bar where no StatusNotifierItem host shows the agent's own.
//
// This body is shared by the shell's two extension formats. The build wraps it in the import
// lines and the entry point of each: imports.js (GNOME 43 and 44), modules.js (GNOME 45 on).

const BUS_NAME = 'org.orbellite.OrbelLite.Shell';
const OBJECT_PATH = '/org/orbellite/OrbelLite/Shell';
const INTERFACE_FILE = 'org.orbellite.OrbelLite.Shell.xml';
const ICON_FILE = 'orbel-lite-symbolic.svg';

// The agent's own control interface, which the indicator's entries call.
const AGENT_PATH = '/org/orbellite/OrbelLite';
const AGENT_INTERFACE = 'org.orbellite.OrbelLite';

// The revision of the interface this file implements, and the oldest one whose callers can
// drive it unchanged (see the interface file).
const VERSION = 1;
const COMPATIBLE = 1;

// How far the overlay blurs at full strength: no line of text of any usual size stays
// readable, while large shapes and colours still show through.
const BLUR_SIGMA = 30;

// The card: the middle 60 % of the monitor's width, its top 120 pixels above the line 42 % of
// the height above the bottom, and room below that line for the lines under the sentence (how
// long the break has to go, how to override); white text of 28 pixels, medium weight, centred
// from the top. The agent's own windows place it the same way.
const CARD_REASON_HEIGHT = 120;
const CARD_NOTE_HEIGHT = 120;
const CARD_STYLE = 'color: white; font-size: 28px; font-weight: 500; text-align: center; ' +
    'padding: 4px 12px; border-radius: 12px;';

function clamp01(value) {
    return Math.min(1, Math.max(0, value));
}

function opacityOf(value) {
    return Math.round(255 * clamp01(value));
}

function cardFrame(monitor) {
    const left = Math.round(0.2 * monitor.width);
    const right = Math.round(0.8 * monitor.width);
    const bottom = Math.round(monitor.height - 0.42 * monitor.height);
    return {x: left, y: bottom - CARD_REASON_HEIGHT, width: right - left, height: CARD_REASON_HEIGHT + CARD_NOTE_HEIGHT};
}

// The blur's strength for its opacity. The shell paints a blur of what lies beneath an actor
// at full opacity whatever the actor's own, so a partly faded blur is drawn as a weaker one:
// the radius grows with the cube of the opacity. A blend of 30 % blurred over sharp still
// reads, and so does text softened by a pixel or so; at 90 % little reads, and no text does
// at full strength.
function blurSigma(opacity) {
    return Math.round(BLUR_SIGMA * clamp01(opacity) ** 3);
}

// A blur of what lies beneath the actor, redrawn with every frame of the stage.
function makeBlur() {
    return new Shell.BlurEffect({mode: Shell.BlurMode.BACKGROUND, brightness: 1.0});
}

function setBlurSigma(effect, sigma) {
    // The strength is "sigma" up to GNOME 45 and "radius", twice as large, from 46.
    if ('radius' in effect)
        effect.radius = 2 * sigma;
    else
        effect.sigma = sigma;
}

// The identifiers the agent matches against its call applications: the app id of a native
// window (which Mutter reports as its WM class), WM_CLASS instance and class of an X11 one,
// and the sandboxed or GTK application id where there is one.
function windowIds(win) {
    const ids = [win.get_wm_class_instance(), win.get_wm_class(), win.get_sandboxed_app_id(),
        win.get_gtk_application_id()];
    return ids.filter((id, i) => typeof id === 'string' && id !== '' && ids.indexOf(id) === i);
}

// The overlay: one actor per monitor above the top bar and every window, that takes no input
// at all, so every click and key reaches what lies beneath. Each blurs what is beneath it as
// strongly as the "blur" opacity says, darkens it by the tint faded by that opacity, and shows
// the card. The calling agent's own
// windows are shown above it as live copies: clicks pass to the real windows just beneath.
class Overlay {
    constructor() {
        this._look = {blur: 0, tint: 0, card: '', scrim: 0};
        this._pid = 0;
        this._monitors = [];
        this._copies = null;
        this._copied = new Map();
        this._monitorsId = Main.layoutManager.connect('monitors-changed', () => this._rebuild());
        this._restackedId = global.display.connect('restacked', () => this._syncCopies());
    }

    get shown() {
        return this._monitors.length > 0;
    }

    // Values of the wrong type are ignored, as are keys this revision does not know.
    update(changes) {
        for (const key of ['blur', 'tint', 'scrim']) {
            if (typeof changes[key] === 'number' && Number.isFinite(changes[key]))
                this._look[key] = clamp01(changes[key]);
        }
        if (typeof changes.card === 'string')
            this._look.card = changes.card;
        if (!this.shown)
            this._build();
        this._apply();
        this._syncCopies();
    }

    // The process whose windows stay above the overlay; 0 for none.
    keepAbove(pid) {
        this._pid = pid;
        this._syncCopies();
    }

    hide() {
        for (const m of this._monitors)
            m.root.destroy();
        this._monitors = [];
        this._copied.clear();
        this._copies?.destroy();
        this._copies = null;
    }

    destroy() {
        Main.layoutManager.disconnect(this._monitorsId);
        global.display.disconnect(this._restackedId);
        this.hide();
    }

    _rebuild() {
        if (!this.shown)
            return;
        this.hide();
        this._build();
        this._apply();
        this._syncCopies();
    }

    // Just above the top bar: the shell's menus, notifications and modal dialogs, and other
    // clients' popup menus, stay above the overlay, readable and usable.
    _place(actor, above) {
        Main.layoutManager.addTopChrome(actor, {affectsInputRegion: false});
        Main.layoutManager.uiGroup.set_child_above_sibling(actor, above);
    }

    _build() {
        let above = Main.layoutManager.panelBox;
        for (const monitor of Main.layoutManager.monitors) {
            const size = {width: monitor.width, height: monitor.height};
            const root = new St.Widget({name: 'orbel-overlay', reactive: false, x: monitor.x, y: monitor.y, ...size});
            const blur = new St.Widget({reactive: false, ...size});
            const effect = makeBlur();
            blur.add_effect(effect);
            const tint = new St.Widget({reactive: false, style: 'background-color: black;', ...size});
            const frame = cardFrame(monitor);
            const card = new St.Bin({reactive: false, x: frame.x, y: frame.y, width: frame.width,
                height: frame.height});
            // As wide as its lines, so the scrim lies behind the text alone.
            const label = new St.Label({reactive: false, style: CARD_STYLE, x_align: Clutter.ActorAlign.CENTER,
                y_align: Clutter.ActorAlign.START});
            label.clutter_text.line_wrap = true;
            label.clutter_text.ellipsize = Pango.EllipsizeMode.NONE;
            card.set_child(label);
            root.add_child(blur);
            root.add_child(tint);
            root.add_child(card);
            this._place(root, above);
            above = root;
            this._monitors.push({root, effect, tint, card, label});
        }
        this._copies = new Clutter.Actor({name: 'orbel-kept', reactive: false});
        this._place(this._copies, above);
    }

    _apply() {
        const {blur, tint, card, scrim} = this._look;
        for (const m of this._monitors) {
            m.root.opacity = opacityOf(blur);
            setBlurSigma(m.effect, blurSigma(blur));
            m.tint.opacity = opacityOf(tint);
            m.label.text = card;
            m.label.style = `${CARD_STYLE} background-color: rgba(0, 0, 0, ${clamp01(scrim).toFixed(3)});`;
            m.card.visible = card !== '';
        }
    }

    // One live copy of each of the kept process's windows, stacked as the windows are and
    // following them as they move.
    _syncCopies() {
        if (!this._copies)
            return;
        const pid = this._pid;
        const wanted = pid ? global.get_window_actors().filter(a => a.meta_window?.get_pid() === pid) : [];
        for (const [actor, copy] of this._copied) {
            if (!wanted.includes(actor)) {
                copy.destroy();
                this._copied.delete(actor);
            }
        }
        for (const actor of wanted) {
            let copy = this._copied.get(actor);
            if (!copy) {
                copy = new Clutter.Clone({source: actor, reactive: false});
                for (const prop of ['x', 'y', 'visible'])
                    actor.bind_property(prop, copy, prop, GObject.BindingFlags.SYNC_CREATE);
                this._copies.add_child(copy);
                this._copied.set(actor, copy);
            }
            this._copies.set_child_above_sibling(copy, null);
        }
    }
}

// Follows the window in front and reports its identifiers when they change.
class FrontWatch {
    constructor(onChange) {
        this._ids = [];
        this._onChange = onChange;
        this._window = null;
        this._windowId = 0;
        this._focusId = global.display.connect('notify::focus-window', () => this._follow());
        this._follow();
    }

    get ids() {
        return this._ids;
    }

    destroy() {
        global.display.disconnect(this._focusId);
        this._unfollowWindow();
    }

    // A native window may name its app id only after it was first focused.
    _follow() {
        this._unfollowWindow();
        this._window = global.display.focus_window;
        if (this._window)
            this._windowId = this._window.connect('notify::wm-class', () => this._update());
        this._update();
    }

    _unfollowWindow() {
        if (this._window && this._windowId)
            this._window.disconnect(this._windowId);
        this._window = null;
        this._windowId = 0;
    }

    _update() {
        const ids = this._window ? windowIds(this._window) : [];
        if (ids.length === this._ids.length && ids.every((id, i) => id === this._ids[i]))
            return;
        this._ids = ids;
        this._onChange(ids);
    }
}

// The agent's status in the top bar: its glyph and title, and its menu, whose entries call the
// agent's control interface.
class Indicator {
    constructor(dir, run) {
        this._run = run;
        this._shape = null;
        this._items = [];
        this._button = new PanelMenu.Button(0.0, 'Orbel Lite', false);
        const box = new St.BoxLayout({style_class: 'panel-status-menu-box'});
        const icon = new St.Icon({
            gicon: Gio.icon_new_for_string(dir.get_child(ICON_FILE).get_path()),
            style_class: 'system-status-icon',
        });
        this._label = new St.Label({text: '', y_align: Clutter.ActorAlign.CENTER});
        box.add_child(icon);
        box.add_child(this._label);
        this._button.add_child(box);
        Main.panel.addToStatusArea('orbel-lite', this._button);
    }

    update(changes) {
        if (typeof changes.title === 'string')
            this._label.text = changes.title;
        if (Array.isArray(changes.menu))
            this._setMenu(changes.menu.filter(e => e !== null && typeof e === 'object'));
    }

    destroy() {
        this._button.destroy();
    }

    // Entries are changed in place while the commands stay the same, so an open menu is not
    // rebuilt under the pointer when only the info line changes.
    _setMenu(entries) {
        const shape = entries.map(e => (e.separator === true ? '-' : `+${e.command ?? ''}`)).join('\n');
        if (shape !== this._shape) {
            this._shape = shape;
            this._button.menu.removeAll();
            this._items = entries.map(e => this._add(e));
        }
        entries.forEach((e, i) => {
            const item = this._items[i];
            if (e.separator === true)
                return;
            item.label.text = typeof e.label === 'string' ? e.label : '';
            item.setSensitive(e.enabled !== false && typeof e.command === 'string' && e.command !== '');
        });
    }

    _add(entry) {
        const item = entry.separator === true
            ? new PopupMenu.PopupSeparatorMenuItem()
            : new PopupMenu.PopupMenuItem('');
        const command = entry.command;
        if (entry.separator !== true && typeof command === 'string' && command !== '')
            item.connect('activate', () => this._run(command));
        this._button.menu.addMenuItem(item);
        return item;
    }
}

// The object on the bus. Each feature belongs to the agent that last called it, and goes when
// that agent leaves the bus.
class OrbelShell {
    constructor(dir) {
        this._dir = dir;
    }

    enable() {
        const [, bytes] = this._dir.get_child(INTERFACE_FILE).load_contents(null);
        const xml = new TextDecoder().decode(bytes);
        this._overlay = new Overlay();
        this._overlayOwner = null;
        this._indicator = null;
        this._indicatorOwner = null;
        this._watches = new Map();
        this._pids = new Map();
        this._front = new FrontWatch(ids => this._object?.emit_property_changed('FrontApp', new GLib.Variant('as', ids)));
        this._object = Gio.DBusExportedObject.wrapJSObject(xml, this);
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        // The name last: an agent that sees it finds the object there.
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME, Gio.BusNameOwnerFlags.NONE,
            null, null);
    }

    disable() {
        Gio.bus_unown_name(this._nameId);
        this._object.unexport();
        this._object = null;
        for (const id of this._watches.values())
            Gio.bus_unwatch_name(id);
        this._watches.clear();
        this._front.destroy();
        this._overlay.destroy();
        this._indicator?.destroy();
        this._indicator = null;
    }

    get Version() {
        return VERSION;
    }

    get Compatible() {
        return COMPATIBLE;
    }

    get FrontApp() {
        return this._front.ids;
    }

    ShowOverlayAsync(_params, invocation) {
        const sender = invocation.get_sender();
        this._overlayOwner = sender;
        this._follow(sender);
        this._overlay.update(this._changesOf(invocation));
        this._pidOf(sender, pid => {
            if (this._overlayOwner === sender)
                this._overlay.keepAbove(pid);
        });
        invocation.return_value(null);
    }

    HideOverlayAsync(_params, invocation) {
        this._overlay.hide();
        this._overlayOwner = null;
        invocation.return_value(null);
    }

    ShowIndicatorAsync(_params, invocation) {
        const sender = invocation.get_sender();
        this._follow(sender);
        if (this._indicatorOwner !== sender) {
            this._indicator?.destroy();
            this._indicator = new Indicator(this._dir, command => this._command(sender, command));
            this._indicatorOwner = sender;
        }
        this._indicator.update(this._changesOf(invocation));
        invocation.return_value(null);
    }

    HideIndicatorAsync(_params, invocation) {
        this._indicator?.destroy();
        this._indicator = null;
        this._indicatorOwner = null;
        invocation.return_value(null);
    }

    _changesOf(invocation) {
        const [changes] = invocation.get_parameters().recursiveUnpack();
        return changes !== null && typeof changes === 'object' ? changes : {};
    }

    _command(agent, method) {
        Gio.DBus.session.call(agent, AGENT_PATH, AGENT_INTERFACE, method, null, null, Gio.DBusCallFlags.NONE, -1,
            null, (bus, result) => {
                try {
                    bus.call_finish(result);
                } catch (e) {
                    logError(e, `Orbel Lite: ${method}`);
                }
            });
    }

    // Unique names never come back: once one leaves the bus, whatever it showed goes.
    _follow(sender) {
        if (this._watches.has(sender))
            return;
        const id = Gio.bus_watch_name_on_connection(Gio.DBus.session, sender, Gio.BusNameWatcherFlags.NONE,
            null, () => this._left(sender));
        this._watches.set(sender, id);
    }

    _left(sender) {
        Gio.bus_unwatch_name(this._watches.get(sender));
        this._watches.delete(sender);
        this._pids.delete(sender);
        if (this._overlayOwner === sender) {
            this._overlay.hide();
            this._overlayOwner = null;
        }
        if (this._indicatorOwner === sender) {
            this._indicator.destroy();
            this._indicator = null;
            this._indicatorOwner = null;
        }
    }

    _pidOf(sender, then) {
        if (this._pids.has(sender)) {
            then(this._pids.get(sender));
            return;
        }
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
            'GetConnectionUnixProcessID', new GLib.Variant('(s)', [sender]), new GLib.VariantType('(u)'),
            Gio.DBusCallFlags.NONE, -1, null, (bus, result) => {
                try {
                    const [pid] = bus.call_finish(result).deepUnpack();
                    if (this._watches.has(sender))
                        this._pids.set(sender, pid);
                    then(pid);
                } catch (e) {
                    logError(e, 'Orbel Lite: the agent\'s process');
                }
            });
    }
}
