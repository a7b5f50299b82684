# The manager's Properties.Get, refused as a D-Bus policy or polkit may refuse it.
# Run by python3-dbusmock in place of the method: `self` is the mock object, `args` the call's
# arguments, `objects` every mock object by path; `ret`, when set, is the answer.
import dbus

raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.AccessDenied')
