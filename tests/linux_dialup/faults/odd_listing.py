# The manager's Properties.Get answering ActiveConnections oddly. The first time: the second
# connection, the first, a path with no object, the second again, the manager itself (which is
# no active connection) and an object whose Type is a number. From then on: a string, not a
# list.
# Run by python3-dbusmock in place of the method: `self` is the mock object, `args` the call's
# arguments, `objects` every mock object by path; `ret`, when set, is the answer.
import dbus

NM = 'org.freedesktop.NetworkManager'
manager = objects['/org/freedesktop/NetworkManager']
if not hasattr(self, 'odd_first'):
    listed = manager.props[NM]['ActiveConnections']
    self.odd_first = listed[0]
    self.odd_second = listed[1]
    manager.AddObject('/bad', NM + '.Connection.Active',
                      {'Type': dbus.Int32(1), 'Id': 'Bad'}, [])
    ret = dbus.Array([self.odd_second, self.odd_first, '/gone', self.odd_second,
                      manager.path, '/bad'], signature='o')
else:
    ret = self.odd_first
