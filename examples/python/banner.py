#!/usr/bin/env python3
"""A GTK 4 application with an AdNet banner at the top of its window.

Needs libadnet's introspection data (Adnet-1.0.typelib) where GObject introspection looks
(GI_TYPELIB_PATH) and libadnet where the dynamic linker looks (LD_LIBRARY_PATH).

The window's child is a Gtk.Overlay, so a clicked ad's landing screen covers the whole
window. With ADNET_EXAMPLE_SCRIPT=1 the program drives itself: it waits for the first ad,
checks the banner is drawn, clicks it, closes the landing screen and quits, printing each
signal on the way.
"""
import os
import sys

import gi

gi.require_version("Gtk", "4.0")
gi.require_version("Adnet", "1.0")
from gi.repository import Adnet, GLib, Graphene, Gtk  # noqa: E402

# ADNET_EXAMPLE_SCRIPT=input: the program asks for the click and Escape on standard output
# ("click X Y" in window pixels, "press Escape") and a driver outside sends real input.
REAL_INPUT = os.environ.get("ADNET_EXAMPLE_SCRIPT") == "input"
SCRIPTED = REAL_INPUT or os.environ.get("ADNET_EXAMPLE_SCRIPT") == "1"


def say(line):
    print(line, flush=True)


def is_drawn(widget):
    """Whether the widget draws anything: the picture of an empty one has no size."""
    snapshot = Gtk.Snapshot()
    Gtk.WidgetPaintable.new(widget).snapshot(snapshot, widget.get_width(), widget.get_height())
    return snapshot.to_paintable(None).get_intrinsic_width() > 0


class Example(Gtk.Application):
    def __init__(self):
        super().__init__(application_id="net.adnet.ExampleBannerPy", flags=0)
        self.status = 1

    def do_activate(self):
        window = Gtk.ApplicationWindow(application=self, title="AdNet banner", default_width=360, default_height=480)

        # The banner at the top, the application's content below it.
        banner = Adnet.Banner(publisher_id="c3e8b0f47d92a16", test_ads=True, halign=Gtk.Align.CENTER)
        content = Gtk.Label(label="Your application's content goes here.", vexpand=True)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=12)
        box.append(banner)
        box.append(content)

        # An overlay as the window's child: landing screens cover the whole window.
        overlay = Gtk.Overlay(child=box)
        window.set_child(overlay)

        banner.connect("ad-received", self.on_ad_received)
        banner.connect("ad-failed", self.on_ad_failed)
        banner.connect("landing-will-present", self.on_landing_will_present)
        banner.connect("landing-did-dismiss", self.on_landing_did_dismiss)
        if SCRIPTED:
            GLib.timeout_add_seconds(60, self.give_up)
        window.present()

    def on_ad_received(self, banner):
        say("ad-received")
        if SCRIPTED:
            GLib.timeout_add(500, self.click, banner)

    def on_ad_failed(self, banner, error):
        say("ad-failed: " + error.message)
        if SCRIPTED:
            self.quit()

    def on_landing_will_present(self, banner, kind):
        say("landing-will-present " + kind)
        if SCRIPTED:  # let it grow in and load before closing it
            GLib.timeout_add(2000, self.close_landing, banner)

    def on_landing_did_dismiss(self, banner, kind):
        say("landing-did-dismiss " + kind)
        if SCRIPTED:
            self.status = 0
            self.quit()

    def click(self, banner):
        say("banner " + ("drawn" if is_drawn(banner) else "empty"))
        if REAL_INPUT:
            # The banner's centre in the window surface's pixels, where a pointer would click.
            native = banner.get_native()
            centre = Graphene.Point().init(banner.get_width() / 2, banner.get_height() / 2)
            ok, point = banner.compute_point(native, centre)
            dx, dy = native.get_surface_transform()
            if ok:
                say("click %d %d" % (point.x + dx, point.y + dy))
            return GLib.SOURCE_REMOVE
        # The same as a click, or Enter on the focused banner.
        banner.activate_action("banner.activate", None)
        return GLib.SOURCE_REMOVE

    def close_landing(self, banner):
        if REAL_INPUT:
            say("press Escape")
            return GLib.SOURCE_REMOVE
        # The same as Escape or the landing screen's Done button.
        banner.activate_action("banner.dismiss-landing", None)
        return GLib.SOURCE_REMOVE

    def give_up(self):
        say("timed out")
        self.quit()
        return GLib.SOURCE_REMOVE


if __name__ == "__main__":
    app = Example()
    ran = app.run(sys.argv)
    sys.exit(app.status if SCRIPTED else ran)
