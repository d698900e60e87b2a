"""A display server of our own (Xvfb) for the desktop tests, the host window's bench and
its screenshot: the server picks a free display and says which once it is ready."""
import os
import subprocess


def start_xvfb(env=None):
    """Starts Xvfb on a free display; returns the process and the display name (":N")."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                             "-screen", "0", "1600x1000x24"],
                            pass_fds=[write], stderr=subprocess.DEVNULL, env=env)
    os.close(write)
    # The server writes its display number and a line feed once it is ready; it ends
    # itself when the line feed cannot be written.
    number = b""
    while not number.endswith(b"\n"):
        number += os.read(read, 64) or b"\n"
    os.close(read)
    return xvfb, ":" + number.decode().strip()
