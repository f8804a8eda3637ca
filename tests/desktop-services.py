#!/usr/bin/python3
"""A panel and a notification daemon on the session bus, as a desktop has them, that say
what they were given.

Plays org.kde.StatusNotifierWatcher (with a host registered, so Qt shows its panel icon)
and org.freedesktop.Notifications (recording every Notify). The test asks through
org.lumbra.TestDesktop at /TestDesktop: Notifications() and Closed() as JSON,
ItemToolTip() read from the registered item, InvokeAction(id, key) as a user's click on a
notification's action.
Prints "ready" once every name is owned.
"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
NOTIFICATIONS = "org.freedesktop.Notifications"
TEST = "org.lumbra.TestDesktop"


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # Qt names its bus name; others name an object path on their connection.
        path = service if service.startswith("/") else "/StatusNotifierItem"
        name = sender if service.startswith("/") else service
        self.items.append((name, path))
        self.StatusNotifierItemRegistered(name + path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.GetAll(interface)[prop]

    # Qt reads the properties only when the introspection names them.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return f'''<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
</interface></node>'''

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0),
                "RegisteredStatusNotifierItems": dbus.Array(
                    [n + p for n, p in self.items], signature="s")}


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.sent = []
        self.closed = []
        self.last_id = 0

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if replaces:
            number = int(replaces)
        else:
            self.last_id += 1
            number = self.last_id
        self.sent.append({"id": number, "replaces": int(replaces), "app": str(app),
                          "summary": str(summary), "body": str(body),
                          "actions": [str(a) for a in actions],
                          "desktop-entry": str(hints.get("desktop-entry", ""))})
        return dbus.UInt32(number)

    @dbus.service.method(NOTIFICATIONS, in_signature="u")
    def CloseNotification(self, number):
        self.closed.append(int(number))
        self.NotificationClosed(number, 3)

    @dbus.service.method(NOTIFICATIONS, out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body", "body-markup"]

    @dbus.service.method(NOTIFICATIONS, out_signature="ssss")
    def GetServerInformation(self):
        return ("test-desktop", "lumbra", "1", "1.2")

    @dbus.service.signal(NOTIFICATIONS, signature="us")
    def ActionInvoked(self, number, key):
        pass

    @dbus.service.signal(NOTIFICATIONS, signature="uu")
    def NotificationClosed(self, number, reason):
        pass


class Test(dbus.service.Object):
    def __init__(self, bus, watcher, notifications):
        super().__init__(bus, "/TestDesktop")
        self.bus, self.watcher, self.notifications = bus, watcher, notifications

    @dbus.service.method(TEST, out_signature="s")
    def Notifications(self):
        return json.dumps(self.notifications.sent)

    @dbus.service.method(TEST, out_signature="s")
    def Closed(self):
        return json.dumps(self.notifications.closed)

    @dbus.service.method(TEST, out_signature="s")
    def ItemToolTip(self):
        if not self.watcher.items:
            return ""
        name, path = self.watcher.items[-1]
        item = self.bus.get_object(name, path)
        tip = item.Get("org.kde.StatusNotifierItem", "ToolTip",
                       dbus_interface=dbus.PROPERTIES_IFACE)
        return str(tip[2]) + ("\n" + str(tip[3]) if str(tip[3]) else "")

    @dbus.service.method(TEST, in_signature="us")
    def InvokeAction(self, number, key):
        self.notifications.ActionInvoked(number, key)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    notifications = Notifications(bus)
    test = Test(bus, watcher, notifications)
    names = [dbus.service.BusName(n, bus) for n in (WATCHER, NOTIFICATIONS, TEST)]
    print("ready", flush=True)
    GLib.MainLoop().run()
    del names, test


if __name__ == "__main__":
    sys.exit(main())
