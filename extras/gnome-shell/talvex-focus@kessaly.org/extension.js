// Talvex focus (GNOME 45 and later): tells Talvex which window has the focus. It exports
// /org/kessaly/Talvex/Focus on the shell's session-bus name: Get answers the focused
// window's pid, title and id, and the signal Changed carries the same whenever the focus
// moves. It reads nothing else and changes nothing.
import GLib from 'gi://GLib';
import Gio from 'gi://Gio';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

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
    return [window.get_pid(), window.get_title() ?? '', String(window.get_stable_sequence())];
}

export default class TalvexFocusExtension extends Extension {
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
