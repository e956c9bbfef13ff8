#!/usr/bin/env python3
"""The windowed game as a screen reader and a keyboard user meet it.

Run inside a private D-Bus session (dbus-run-session): starts Xvfb, the accessibility bus,
the demo ad network and the game, then reads the game's accessibility tree through AT-SPI
and drives it with keys (xdotool): names, roles and states of the controls, the Tab order,
Enter on Start and on the banner, Escape out of the landing screen, and out of its alert first.

usage: accessibility-test.py BIN_DIR WORK_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import time

try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Gio  # noqa: E402
except (ImportError, ValueError) as missing:
    print("skipped: no AT-SPI bindings (%s)" % missing)
    sys.exit(77)
for tool in ("Xvfb", "xdotool", "curl"):
    if not shutil.which(tool):
        print("skipped: %s is not installed" % tool)
        sys.exit(77)

BIN, WORK = sys.argv[1], sys.argv[2]
failures = []
children = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def start(args, **kw):
    p = subprocess.Popen(args, **kw)
    children.append(p)
    return p


def stop_all():
    for p in reversed(children):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()


def wait_for(what, probe, timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    check(False, "in time: " + what)
    return None


def walk(node, out):
    try:
        out.append(node)
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None:
                walk(child, out)
    except Exception:
        pass
    return out


def states(node):
    s = node.get_state_set()
    return {name for name, st in (("showing", Atspi.StateType.SHOWING), ("sensitive", Atspi.StateType.SENSITIVE),
                                  ("focused", Atspi.StateType.FOCUSED), ("busy", Atspi.StateType.BUSY),
                                  ("visible", Atspi.StateType.VISIBLE)) if s.contains(st)}


def game_app():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() and "brimsey" in app.get_name().lower():
            return app
    return None


def shown(app):
    """The elements shown now: (role name, name) -> node."""
    result = {}
    for node in walk(app, []):
        try:
            if "visible" in states(node) and node.get_name():
                result[(node.get_role_name(), node.get_name())] = node
        except Exception:
            pass
    return result


def find(app, role, prefix):
    for (r, name), node in shown(app).items():
        if r == role and name.startswith(prefix):
            return node
    return None


def focused(app):
    for node in walk(app, []):
        try:
            if "focused" in states(node):
                return node.get_name()
        except Exception:
            pass
    return None


def a11y_bus_ready():
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        reply = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
                              Gio.DBusCallFlags.NONE, 1000, None)
        return bool(reply.unpack()[0]) and Atspi.get_desktop(0) is not None
    except Exception:
        return False


def key(name):
    subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=False, env=env)
    time.sleep(0.25)


def check_banner_widget(build):
    """The SDK's banner widget in the Python example host: the same tree and keys."""
    game.terminate()
    game.wait(10)
    source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    subprocess.run(["curl", "-s", "-o", "/dev/null", base + "/control/clear"], check=False)
    host_env = dict(env, LD_LIBRARY_PATH=os.path.join(build, "lib"), GI_TYPELIB_PATH=os.path.join(build, "gir"),
                    HOME=os.path.join(WORK, "host-home"), XDG_CACHE_HOME=os.path.join(WORK, "host-home", "cache"))
    start([sys.executable, os.path.join(source, "examples", "python", "banner.py")], env=host_env)

    def example_app():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            candidate = desktop.get_child_at_index(i)
            if candidate is not None and find(candidate, "label", "Your application") is not None:
                return candidate
        return None
    host = wait_for("the example application on the accessibility bus", example_app, 60)

    def ad_button():
        for (role, name), node in shown(host).items():
            if role == "push button" and node.get_description() == "Advertisement":
                return node
        return None
    if host is not None and wait_for("the widget's banner, described as an advertisement", ad_button, 30):
        for _ in range(4):
            if (focused(host) or "") == ad_button().get_name():
                break
            key("Tab")
        check((focused(host) or "") == ad_button().get_name(), "Tab reaches the widget's banner")
        key("Return")
        landed = wait_for("the widget's landing screen", lambda: find(host, "dialog", "Advertisement"), 20)
        if landed is not None:
            named = wait_for("the widget's landing screen's controls",
                             lambda: find(host, "push button", "Done") or find(host, "push button", "Close"), 10)
            check(named is not None, "the widget's landing screen has its controls named: %r"
                  % sorted(name for (role, name) in shown(host) if role == "push button"))
            check(ad_button() is None, "the widget's banner is hidden behind its landing screen")
            check(wait_for("focus inside the widget's landing screen",
                           lambda: (focused(host) or "") in ("Done", "Close", "Back", "Forward", "Reload", "Stop",
                                                             "Actions"), 5) is not None,
                  "focus goes into the widget's landing screen")
            key("Escape")
            check(wait_for("the widget's landing screen to close",
                           lambda: find(host, "dialog", "Advertisement") is None, 10) is not None,
                  "Escape closes the widget's landing screen")


os.makedirs(WORK, exist_ok=True)
env = dict(os.environ)
env.pop("WAYLAND_DISPLAY", None)
env["ALSOFT_DRIVERS"] = "null"
env["GTK_A11Y"] = "atspi"
env["NO_AT_BRIDGE"] = "0"
try:
    # The server picks a free display and writes its number to the pipe.
    read_end, write_end = os.pipe()
    start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
          stderr=subprocess.DEVNULL, pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        display = ":" + pipe.readline().strip()
    env["DISPLAY"] = display
    # The accessibility bus: the registry's launcher starts it and the registry on demand.
    launcher = shutil.which("at-spi-bus-launcher") or "/usr/libexec/at-spi-bus-launcher"
    start([launcher, "--launch-immediately"], env=env, stderr=subprocess.DEVNULL)
    # A toolkit that finds no accessibility bus at start-up never joins one: wait for it.
    wait_for("the accessibility bus", a11y_bus_ready)
    os.environ["DISPLAY"] = display
    port_file = os.path.join(WORK, "port")
    if os.path.exists(port_file):
        os.remove(port_file)
    start([os.path.join(BIN, "adnet-demo-server"), "--port", "0", "--port-file", port_file, "--quiet", "--control",
           "--exit-with-parent"])
    port = wait_for("the demo ad network", lambda: os.path.exists(port_file) and open(port_file).read().strip())
    base = "http://127.0.0.1:%s" % port
    subprocess.run(["curl", "-s", "-o", "/dev/null", base + "/control/pin?ad=spring-sale"], check=False)
    env["ADNET_REQUEST_ENDPOINT"] = base + "/ad_source.php"
    env["ADNET_MEDIA_HOST"] = base
    events = os.path.join(WORK, "events.log")
    game = start([os.path.join(BIN, "brimsey"), "--run-for", "90", "--documents", os.path.join(WORK, "documents"),
                  "--events", events], env=env)

    app = wait_for("the game on the accessibility bus", game_app, 60)
    if app is None:
        sys.exit(1)
    wait_for("the Start button", lambda: find(app, "push button", "Start"), 30)
    banner = wait_for("the banner", lambda: find(app, "push button", "Spring sale"), 30)
    if banner is not None:
        check(banner.get_description() == "Advertisement", "the banner is described as an advertisement")
    meter = find(app, "level bar", "Shake meter")
    check(meter is not None, "the meter is a level bar")
    if meter is not None:
        check(meter.get_current_value() == 0, "the meter starts empty")
    check(find(app, "push button", "Weak") is None, "result buttons are not shown before a game")

    # Tab order: the banner (at the top) first, then the game's button; then round again.
    order = []
    for _ in range(3):
        key("Tab")
        order.append((focused(app) or "")[:11])
    check(order == ["Spring sale", "Start", "Spring sale"], "Tab order banner, Start, banner: %r" % order)

    # Enter on Start starts a game.
    key("shift+Tab")
    check((focused(app) or "") == "Start", "Shift+Tab goes back to Start")
    key("Return")
    wait_for("a game started by Enter", lambda: os.path.exists(events) and "effect countdown" in open(events).read())
    # Holding Space shakes: the meter rises; the result comes after nine seconds.
    subprocess.run(["xdotool", "keydown", "space"], env=env)
    time.sleep(3)
    subprocess.run(["xdotool", "keyup", "space"], env=env)
    meter = find(app, "level bar", "Shake meter")
    check(meter is not None and meter.get_current_value() > 0, "shaking raises the meter's value")
    # Standing still again, the player is told to shake on, as live status text.
    wait_for("the keep-shaking hint", lambda: find(app, "status bar", "Keep shaking"), 5)
    result = wait_for("a result button", lambda: [n for (r, name), n in shown(app).items()
                                                  if r == "push button" and "play again" in name.lower()], 20)
    if result:
        # Shown at once, but taking taps only a little later.
        check("sensitive" not in states(result[0]), "a fresh result button is not sensitive yet")
        check(wait_for("the result button enabled", lambda: "sensitive" in states(result[0]), 5) is not None,
              "the result button becomes sensitive: " + result[0].get_name())

    # Enter on the banner opens the landing screen: only its controls are shown then.
    # Start went with its game, and the focus with it: Tab begins again at the top.
    key("Tab")
    check((focused(app) or "").startswith("Spring sale"), "after a game Tab goes to the banner first")
    key("Return")
    wait_for("the landing screen", lambda: find(app, "dialog", "Advertisement"), 20)
    wait_for("its Done button", lambda: find(app, "push button", "Done"), 10)
    controls = ("Done", "Back", "Forward", "Reload", "Stop", "Actions")

    # The page's engine may join the screen a moment after its bars: read until it settles.
    def browser_buttons():
        names = {name for (role, name) in shown(app) if role == "push button"}
        return names if {"Done", "Back", "Forward", "Actions"} <= names and names & {"Reload", "Stop"} else None
    names = wait_for("the browser's buttons", browser_buttons, 5)
    seen = names or {name for (role, name) in shown(app) if role == "push button"}
    check(names is not None, "the browser's buttons are named: %r" % sorted(seen))
    check(wait_for("the page's title", lambda: find(app, "label", "Trailhead"), 10) is not None,
          "the page's title is read")
    check(find(app, "push button", "Spring sale") is None, "the banner is hidden behind the landing screen")
    check(wait_for("focus inside the landing screen", lambda: (focused(app) or "") in controls, 5) is not None,
          "focus goes into the landing screen")
    inside = []
    for _ in range(6):
        key("Tab")
        inside.append(focused(app))
    check(all(name in controls for name in inside), "Tab stays among the landing screen's controls: %r" % inside)
    key("Escape")
    wait_for("the landing screen to close", lambda: find(app, "dialog", "Advertisement") is None, 10)
    check(wait_for("focus back on the banner", lambda: (focused(app) or "").startswith("Spring sale"), 5)
          is not None, "focus returns to the banner")

    # Again, once the page cannot be read to its end: the "Whoops" alert over the browser.
    # Escape closes the alert first (its Ok), then the landing screen.
    subprocess.run(["curl", "-s", "-o", "/dev/null", base + "/control/fault?spec=truncated@landingPage"], check=False)
    key("Return")

    def alert():
        return find(app, "alert", "Whoops") or find(app, "dialog", "Whoops")
    whoops = wait_for("the Whoops alert", alert, 30)
    if whoops is not None:
        check("connect" in (whoops.get_description() or "") or find(app, "label", "Couldn't connect") is not None,
              "the alert says why: %r" % whoops.get_description())
        check(find(app, "push button", "Ok") is not None, "the alert has an Ok button")
        key("Escape")
        check(wait_for("the alert to close", lambda: alert() is None, 10) is not None, "Escape closes the alert")
        check(find(app, "dialog", "Advertisement") is not None, "the landing screen stays after the alert")
        key("Escape")
        check(wait_for("the landing screen to close again", lambda: find(app, "dialog", "Advertisement") is None, 10)
              is not None, "a second Escape closes the landing screen")

    # The SDK's banner widget in a host application of its own (the Python example) has the
    # same tree and keys: its banner, then its landing screen's controls, then Escape. The
    # sanitized builds make no introspection data, so only the plain build runs this part.
    build = os.path.dirname(os.path.abspath(BIN))
    if os.path.exists(os.path.join(build, "gir", "Adnet-1.0.typelib")):
        check_banner_widget(build)
    else:
        print("note: no introspection data in this build: the banner widget's part is left out")
finally:
    stop_all()

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
