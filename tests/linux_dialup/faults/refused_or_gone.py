# DeactivateConnection refusing the first active connection (polkit says no) and finding the
# second gone by itself meanwhile; any other goes down as NetworkManager's would. Neither of
# the first two leaves the list, so they stay first and second.
# Run by python3-dbusmock in place of the method: `self` is the mock object, `args` the call's
# arguments, `objects` every mock object by path; `ret`, when set, is the answer.
import dbus

NM = 'org.freedesktop.NetworkManager'
listed = objects['/org/freedesktop/NetworkManager'].props[NM]['ActiveConnections']
if args[0] == listed[0]:
    raise dbus.exceptions.DBusException('polkit says no', name=NM + '.PermissionDenied')
if args[0] == listed[1]:
    raise dbus.exceptions.DBusException('gone', name=NM + '.ConnectionNotActive')
self.deactivate_connection(self, args[0])
