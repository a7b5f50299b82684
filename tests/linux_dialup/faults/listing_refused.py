# The manager's Properties.Get, refused as a D-Bus policy or polkit may refuse it.
raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.AccessDenied')
