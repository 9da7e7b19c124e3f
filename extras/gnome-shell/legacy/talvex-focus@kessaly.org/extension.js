// Talvex focus (GNOME 43 and 44): the same as the extension for later versions, in the
// module style these versions load. See ../../talvex-focus@kessaly.org/extension.js.
/* exported init */
const {GLib, Gio} = imports.gi;

const FOCUS_INTERFACE = `
<node>
  <interface name="org.kessaly.Talvex.Focus">
    <method name="Get">
      <arg type="i" direction="out" name="pid"/>
      <arg type="s" direction="out" name="title"/>
      <arg type="s" direction="out" name="id"/>
    </method>
    <signal name="Changed">
      <arg type="i" name="pid"/>
      <arg type="s" name="title"/>
      <arg type="s" name="id"/>
    </signal>
  </interface>
</node>`;

function describe(window) {
    if (!window)
        return [0, '', ''];
    return [window.get_pid(), window.get_title() || '', String(window.get_stable_sequence())];
}

class TalvexFocus {
    enable() {
        this._focus = Gio.DBusExportedObject.wrapJSObject(FOCUS_INTERFACE, {
            Get: () => describe(global.display.focus_window),
        });
        this._focus.export(Gio.DBus.session, '/org/kessaly/Talvex/Focus');
        this._focusChanged = global.display.connect('notify::focus-window', () => {
            this._focus.emit_signal('Changed',
                new GLib.Variant('(iss)', describe(global.display.focus_window)));
        });
    }

    disable() {
        global.display.disconnect(this._focusChanged);
        this._focus.unexport();
        this._focus = null;
    }
}

function init() {
    return new TalvexFocus();
}
