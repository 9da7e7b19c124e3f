#include "platform/linux/X11WindowApi.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/linux/Utf8.h"

namespace talvex::platform {

struct X11WindowApi::Atoms {
    Atom activeWindow, wmName, utf8String, wmPid, wmState, wmStateAbove;
};

struct X11WindowApi::Property {
    bool ok = false;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    std::string bytes;  // for format 32 the items are longs, as Xlib hands them out
};

namespace {

// Collects X protocol errors of the requests made while it lives instead of letting
// Xlib's default handler end the program. Xlib's handler is process-wide, so the one
// in place before is put back afterwards.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : m_display(display) {
        s_failed = false;
        m_previous = XSetErrorHandler(&ErrorTrap::OnError);
    }
    ~ErrorTrap() {
        // A query that asked Failed() last has had every answer already: another round
        // trip to the server would only cost time, on every tick.
        if (!m_synced) XSync(m_display, False);
        XSetErrorHandler(m_previous);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    /// Whether any request so far failed (waits for the server's answers). Make no
    /// further request through the trap after asking.
    bool Failed() {
        XSync(m_display, False);
        m_synced = true;
        return s_failed;
    }

  private:
    static int OnError(Display*, XErrorEvent*) {
        s_failed = true;
        return 0;
    }
    static inline bool s_failed = false;
    Display* m_display;
    XErrorHandler m_previous = nullptr;
    bool m_synced = false;
};

// Xlib's I/O error handler is process-wide and by default ends the program. Ours lets
// Xlib go on for this backend's connections (their exit handler marks them broken)
// and leaves every other connection, say the toolkit's, to the handler it had.
std::vector<Display*>& OurConnections() {
    static std::vector<Display*> connections;
    return connections;
}
XIOErrorHandler g_previousIoHandler = nullptr;

int OnIoError(Display* display) {
    const auto& ours = OurConnections();
    if (std::find(ours.begin(), ours.end(), display) != ours.end()) return 0;
    return g_previousIoHandler ? g_previousIoHandler(display) : 0;
}

void Register(Display* display) {
    static const bool installed = [] {
        g_previousIoHandler = XSetIOErrorHandler(&OnIoError);
        return true;
    }();
    (void)installed;
    OurConnections().push_back(display);
}

void Unregister(Display* display) {
    std::erase(OurConnections(), display);
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

}  // namespace

X11WindowApi::X11WindowApi(std::string displayName, bool reconnect)
    : m_displayName(std::move(displayName)), m_reconnect(reconnect), m_atoms(new Atoms{}) {}

X11WindowApi::~X11WindowApi() {
    Disconnect();
    delete m_atoms;
}

void X11WindowApi::OnConnectionLost(Display*, void* self) {
    // Returning (instead of Xlib's default of ending the program) lets the failing call
    // come back; the broken connection is replaced on a later query.
    static_cast<X11WindowApi*>(self)->m_broken = true;
}

Display* X11WindowApi::Connection() {
    if (m_display && m_broken) {
        if (!m_reconnect) return nullptr;
        Disconnect();
    }
    if (m_display) return m_display;
    m_display = XOpenDisplay(m_displayName.empty() ? nullptr : m_displayName.c_str());
    if (!m_display) return nullptr;
    m_broken = false;
    Register(m_display);
    XSetIOErrorExitHandler(m_display, &X11WindowApi::OnConnectionLost, this);
    *m_atoms = Atoms{XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False),
                     XInternAtom(m_display, "_NET_WM_NAME", False),
                     XInternAtom(m_display, "UTF8_STRING", False),
                     XInternAtom(m_display, "_NET_WM_PID", False),
                     XInternAtom(m_display, "_NET_WM_STATE", False),
                     XInternAtom(m_display, "_NET_WM_STATE_ABOVE", False)};
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    m_hasXRes = XResQueryExtension(m_display, &eventBase, &errorBase) &&
                XResQueryVersion(m_display, &major, &minor) &&
                (major > 1 || (major == 1 && minor >= 2));
    if (m_broken) Disconnect();
    return m_display;
}

void X11WindowApi::Disconnect() {
    if (!m_display) return;
    XCloseDisplay(m_display);
    Unregister(m_display);
    m_display = nullptr;
    m_broken = false;
}

X11WindowApi::Property X11WindowApi::ReadProperty(unsigned long window, unsigned long name,
                                                  unsigned long type) {
    Property property;
    Display* display = Connection();
    if (!display || window == 0) return property;
    ErrorTrap trap(display);
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status =
        XGetWindowProperty(display, window, name, 0, 65536, False, type, &property.type,
                           &property.format, &property.items, &after, &data);
    std::unique_ptr<unsigned char, int (*)(void*)> owned(data, &XFree);
    if (status != Success || trap.Failed() || m_broken || property.type == None || !data) {
        return Property{};
    }
    const std::size_t unit = property.format == 32 ? sizeof(long) : property.format / 8U;
    property.bytes.assign(reinterpret_cast<const char*>(data), property.items * unit);
    property.ok = true;
    return property;
}

bool X11WindowApi::WindowExists(unsigned long window) {
    Display* display = Connection();
    if (!display) return false;
    ErrorTrap trap(display);
    XWindowAttributes attributes{};
    const Status status = XGetWindowAttributes(display, window, &attributes);
    return status != 0 && !trap.Failed() && !m_broken;
}

WindowHandle X11WindowApi::GetForegroundWindow() {
    if (!Connection()) return 0;
    const Property active =
        ReadProperty(DefaultRootWindow(m_display), m_atoms->activeWindow, XA_WINDOW);
    if (!active.ok || active.format != 32 || active.items < 1) return 0;
    long window = 0;
    active.bytes.copy(reinterpret_cast<char*>(&window), sizeof window);
    // Some window managers leave the property at a window that has been destroyed when
    // nothing else takes the focus; that is no window in front.
    if (window == 0 || !WindowExists(static_cast<unsigned long>(window))) return 0;
    return static_cast<WindowHandle>(static_cast<unsigned long>(window));
}

std::string X11WindowApi::GetWindowTextA(WindowHandle window, std::size_t maxChars) {
    if (window == 0 || maxChars < 2 || !Connection()) return {};
    std::string title;
    const Property netName = ReadProperty(window, m_atoms->wmName, m_atoms->utf8String);
    if (netName.ok && netName.format == 8 && !netName.bytes.empty()) {
        title = netName.bytes;
    } else {
        Property name = ReadProperty(window, XA_WM_NAME, AnyPropertyType);
        if (!name.ok || name.format != 8) return {};
        if (name.type == XA_STRING) {
            title = Latin1ToUtf8(name.bytes);
        } else {
            // UTF8_STRING as it is; COMPOUND_TEXT and others through Xlib's converter.
            title = name.bytes;
            if (name.type != m_atoms->utf8String && m_display) {
                XTextProperty text{reinterpret_cast<unsigned char*>(name.bytes.data()), name.type,
                                   name.format, name.items};
                char** list = nullptr;
                int count = 0;
                if (Xutf8TextPropertyToTextList(m_display, &text, &list, &count) >= Success &&
                    count > 0 && list) {
                    title = list[0];
                }
                if (list) XFreeStringList(list);
            }
        }
    }
    // A title ends at its first NUL, as C text does.
    title.resize(std::min(title.size(), title.find('\0')));
    return CutUtf8(std::move(title), maxChars - 1);
}

std::int32_t X11WindowApi::PidFromXRes(unsigned long window) {
    if (!m_hasXRes || !Connection()) return 0;
    ErrorTrap trap(m_display);
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    std::int32_t pid = 0;
    if (XResQueryClientIds(m_display, 1, &spec, &count, &values) == Success && !trap.Failed()) {
        for (long i = 0; i < count && pid <= 0; ++i) {
            pid = static_cast<std::int32_t>(XResGetClientPid(&values[i]));
        }
    }
    if (values) XResClientIdsDestroy(count, values);
    return pid > 0 ? pid : 0;
}

std::int32_t X11WindowApi::GetWindowThreadProcessId(WindowHandle window) {
    if (window == 0 || !Connection()) return 0;
    // The server names the client that owns the window's id; that answer is about
    // this window only if the window still exists afterwards (a client slot of a
    // closed connection may have been handed to a new client). It is the host's pid,
    // also for a program in a pid namespace of its own (a sandboxed application), whose
    // _NET_WM_PID names its pid inside the sandbox. So where the server can answer, the
    // property is never read: a client whose pid the server cannot tell (one connected
    // over the network, or through a proxy) has no pid here that could be trusted.
    std::int32_t pid = PidFromXRes(window);
    if (pid == 0 && !m_hasXRes) {
        const Property wmPid = ReadProperty(window, m_atoms->wmPid, XA_CARDINAL);
        if (wmPid.ok && wmPid.format == 32 && wmPid.items >= 1) {
            long value = 0;
            wmPid.bytes.copy(reinterpret_cast<char*>(&value), sizeof value);
            pid = value > 0 && value <= INT32_MAX ? static_cast<std::int32_t>(value) : 0;
        }
    }
    return pid != 0 && WindowExists(window) ? pid : 0;
}

int X11WindowApi::WatchActiveWindow() {
    Display* display = Connection();
    if (!display) return -1;
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    XFlush(display);
    return m_broken ? -1 : ConnectionNumber(display);
}

bool X11WindowApi::TakeActiveWindowEvents() {
    if (!IsConnected()) return false;
    bool changed = false;
    // XPending reads what the socket holds and counts what earlier replies queued.
    while (!m_broken && XPending(m_display) > 0) {
        XEvent event{};
        XNextEvent(m_display, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == m_atoms->activeWindow &&
            event.xproperty.window == DefaultRootWindow(m_display)) {
            changed = true;
        }
    }
    return changed;
}

void X11WindowApi::SetWindowPos(WindowHandle window, bool topmost) {
    Display* display = Connection();
    if (window == 0 || !display) return;
    // The window manager owns the stacking order; ask it through _NET_WM_STATE.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = m_atoms->wmState;
    event.xclient.format = 32;
    event.xclient.data.l[0] = topmost ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
    event.xclient.data.l[1] = static_cast<long>(m_atoms->wmStateAbove);
    event.xclient.data.l[3] = 1;  // from an ordinary application
    ErrorTrap trap(display);
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

}  // namespace talvex::platform
