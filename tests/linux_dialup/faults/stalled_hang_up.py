# DeactivateConnection of a NetworkManager that stalls: it answers only once the test has
# made the file "release" in its folder, and takes nothing down.
# Run by python3-dbusmock in place of the method: `self` is the mock object, `args` the call's
# arguments, `objects` every mock object by path; `ret`, when set, is the answer.
import os
import time

release = os.path.join(os.environ['NM_MOCK_DIR'], 'release')
while not os.path.exists(release):
    time.sleep(0.01)
