# DeactivateConnection of a NetworkManager that stalls: it answers only once the test has
# made the file "release" in its folder, and takes nothing down.
release = os.path.join(os.environ['NM_MOCK_DIR'], 'release')
while not os.path.exists(release):
    time.sleep(0.01)
