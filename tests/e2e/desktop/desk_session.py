#!/usr/bin/python3
"""The desktop session's side of the Linux desktop tests: a StatusNotifierWatcher that
records which tray items register, and a notification server that records and shows the
notifications it gets (in a window listing them, for screenshots). A command line reads
the tray item's properties and menu over D-Bus and clicks its items, and clicks
notifications.

  desk_session.py serve                      run the services (until killed)
  desk_session.py item                       the tray item's properties, one "key: value" a line
  desk_session.py menu                       the tray menu, one item a line
  desk_session.py click LABEL [LABEL...]     clicks the item at that label path
  desk_session.py notes                      the notifications so far, as JSON lines
  desk_session.py click-note ID              invokes a notification's default action
  desk_session.py focus-window               a window of the user's that holds the focus
"""
import json
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
NOTES = "org.freedesktop.Notifications"
NOTES_PATH = "/org/freedesktop/Notifications"
PROPS = "org.freedesktop.DBus.Properties"
TEST = "org.ferrylink.TestDesk"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


def plain(v):
    """D-Bus values as plain Python values (byte arrays as their length)."""
    if isinstance(v, dbus.Array) and v.signature == "y":
        return len(v)
    if isinstance(v, (list, tuple)):
        return [plain(x) for x in v]
    if isinstance(v, dict):
        return {str(k): plain(x) for k, x in v.items()}
    if isinstance(v, dbus.Boolean):
        return bool(v)
    if isinstance(v, (dbus.String, dbus.ObjectPath)):
        return str(v)
    if isinstance(v, (int, dbus.Int32, dbus.UInt32, dbus.Int64, dbus.UInt64, dbus.Byte)):
        return int(v)
    return v


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, WATCHER_PATH)
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # Items register with a bus name or with an object path on their own connection.
        entry = f"{sender}{service}" if service.startswith("/") else service
        if entry not in self.items:
            self.items.append(entry)
        self.StatusNotifierItemRegistered(entry)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    def props(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, iface, name):
        return self.props()[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, iface):
        return self.props()


class Notifications(dbus.service.Object):
    def __init__(self, bus, board):
        super().__init__(bus, NOTES_PATH)
        self.notes = []
        self.next_id = 1
        self.board = board

    @dbus.service.method(NOTES, out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NOTES, out_signature="ssss")
    def GetServerInformation(self):
        return ("desk-session", "ferrylink tests", "1", "1.2")

    @dbus.service.method(NOTES, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        nid = replaces if replaces else self.next_id
        if not replaces:
            self.next_id += 1
        image = hints.get("image-data") or hints.get("image_data")
        note = {"id": int(nid), "replaces": int(replaces), "app": str(app), "summary": str(summary),
                "body": str(body), "actions": [str(a) for a in actions],
                "hints": sorted(str(k) for k in hints.keys()), "timeout": int(timeout),
                "image": [int(image[0]), int(image[1]), bool(image[3])] if image else None}
        self.notes.append(note)
        self.board.add(note)
        return dbus.UInt32(nid)

    @dbus.service.method(NOTES, in_signature="u")
    def CloseNotification(self, nid):
        self.NotificationClosed(nid, 3)

    @dbus.service.signal(NOTES, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.signal(NOTES, signature="us")
    def ActionInvoked(self, nid, key):
        pass

    @dbus.service.method(TEST, out_signature="s")
    def Notes(self):
        return "\n".join(json.dumps(n, ensure_ascii=False) for n in self.notes)

    @dbus.service.method(TEST, in_signature="us")
    def Invoke(self, nid, key):
        self.ActionInvoked(nid, key)


class Board:
    """A window that lists the notifications as a notification centre would."""

    def __init__(self):
        import gi
        gi.require_version("Gtk", "3.0")
        from gi.repository import Gtk
        self.Gtk = Gtk
        self.win = Gtk.Window(title="Notifications")
        self.win.set_accept_focus(False)
        self.win.set_default_size(420, 10)
        self.win.move(8, 8)
        self.box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=6)
        self.box.set_border_width(8)
        self.win.add(self.box)
        self.win.show_all()

    def add(self, note):
        Gtk = self.Gtk
        frame = Gtk.Frame(label=f"{note['summary']} (#{note['id']})")
        text = note["body"] + ("\n[click: " + ", ".join(note["actions"][1::2]) + "]"
                               if note["actions"] else "")
        label = Gtk.Label(label=text, xalign=0)
        label.set_line_wrap(True)
        label.set_max_width_chars(50)
        label.set_margin_start(8)
        label.set_margin_end(8)
        label.set_margin_bottom(6)
        frame.add(label)
        self.box.pack_start(frame, False, False, 0)
        frame.show_all()


def serve():
    DBusGMainLoop(set_as_default=True)
    from gi.repository import GLib
    bus = dbus.SessionBus()
    board = Board()
    watcher = Watcher(bus)
    notes = Notifications(bus, board)
    names = [dbus.service.BusName(WATCHER, bus), dbus.service.BusName(NOTES, bus)]
    print("serving", flush=True)
    GLib.MainLoop().run()
    del watcher, notes, names


def registered_item(bus):
    obj = bus.get_object(WATCHER, WATCHER_PATH)
    items = obj.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPS)
    if not items:
        sys.exit("no tray item registered")
    entry = str(items[-1])
    name, _, path = entry.partition("/")
    return bus.get_object(name, "/" + path)


def item_props(bus):
    item = registered_item(bus)
    props = item.GetAll(ITEM, dbus_interface=PROPS)
    return item, {str(k): plain(v) for k, v in props.items()}


def layout(bus):
    item, props = item_props(bus)
    menu = bus.get_object(item.bus_name, props["Menu"])
    _, root = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU)
    return menu, root


def walk(node, depth, out):
    for child in node[2]:
        cid, p, kids = int(child[0]), child[1], child
        label = str(p.get("label", ""))
        kind = str(p.get("type", "standard"))
        line = "  " * depth
        if kind == "separator":
            line += "---"
        else:
            line += label
            if str(p.get("children-display", "")) == "submenu":
                line += " >"
            if "toggle-type" in p:
                line += " [x]" if int(p.get("toggle-state", 0)) == 1 else " [ ]"
            if not bool(p.get("enabled", True)):
                line += " (grayed)"
        if bool(p.get("visible", True)):
            out.append((line, cid, depth, label))
        walk(kids, depth + 1, out)


def menu_lines(bus):
    menu, root = layout(bus)
    out = []
    walk(root, 0, out)
    return menu, out


def main():
    cmd = sys.argv[1]
    if cmd == "serve":
        return serve()
    if cmd == "focus-window":
        import gi
        gi.require_version("Gtk", "3.0")
        from gi.repository import Gtk
        win = Gtk.Window(title="user-editor")
        win.set_default_size(300, 120)
        win.move(460, 120)
        win.add(Gtk.Entry())
        win.show_all()
        win.connect("destroy", Gtk.main_quit)
        Gtk.main()
        return
    bus = dbus.SessionBus()
    if cmd == "item":
        _, props = item_props(bus)
        for k in sorted(props):
            print(f"{k}: {props[k]}")
    elif cmd == "menu":
        _, lines = menu_lines(bus)
        print("\n".join(l[0] for l in lines))
    elif cmd == "click":
        path = sys.argv[2:]
        menu, lines = menu_lines(bus)
        depth, target = 0, None
        for line, cid, d, label in lines:
            if d == depth and label == path[depth]:
                if depth == len(path) - 1:
                    target = cid
                    break
                # dbusmenu hosts send "opened" to a submenu before showing its items
                menu.Event(cid, "opened", dbus.String("", variant_level=1), dbus.UInt32(0),
                           dbus_interface=MENU)
                depth += 1
        if target is None:
            sys.exit(f"no menu item {path}")
        menu.Event(target, "clicked", dbus.Int32(0, variant_level=1),
                   dbus.UInt32(int(time.time())), dbus_interface=MENU)
    elif cmd == "notes":
        print(bus.get_object(NOTES, NOTES_PATH).Notes(dbus_interface=TEST))
    elif cmd == "click-note":
        bus.get_object(NOTES, NOTES_PATH).Invoke(dbus.UInt32(int(sys.argv[2])), "default",
                                                  dbus_interface=TEST)
    else:
        sys.exit(f"unknown command {cmd}")


if __name__ == "__main__":
    main()
