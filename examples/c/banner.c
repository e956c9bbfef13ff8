/* A GTK 4 application with an AdNet banner at the top of its window.
 *
 *   cc -o banner banner.c $(pkg-config --cflags --libs libadnet gtk4)
 *
 * The window's child is a GtkOverlay, so a clicked ad's landing screen covers the whole
 * window. With ADNET_EXAMPLE_SCRIPT=1 the program drives itself: it waits for the first
 * ad, checks the banner is drawn, clicks it, closes the landing screen and quits, printing
 * each signal on the way (ADNET_EXAMPLE_SCRIPT=input: see real_input below). */
#include <adnet/adnet-gtk.h>
#include <stdio.h>
#include <stdlib.h>

static gboolean scripted;
/* ADNET_EXAMPLE_SCRIPT=input: the program asks for the click and Escape on standard output
 * ("click X Y" in window pixels, "press Escape") and a driver outside sends real input. */
static gboolean real_input;
static int status = 1;

/* Whether the widget draws anything: GTK gives no render node for an empty picture. */
static gboolean
is_drawn (GtkWidget *widget)
{
  GdkPaintable *paintable = gtk_widget_paintable_new (widget);
  GtkSnapshot *snapshot = gtk_snapshot_new ();
  gdk_paintable_snapshot (paintable, snapshot, gtk_widget_get_width (widget), gtk_widget_get_height (widget));
  GskRenderNode *node = gtk_snapshot_free_to_node (snapshot);
  g_object_unref (paintable);
  if (node == NULL)
    return FALSE;
  gsk_render_node_unref (node);
  return TRUE;
}

static gboolean
click_banner (gpointer banner)
{
  printf ("banner %s\n", is_drawn (banner) ? "drawn" : "empty");
  if (real_input)
    {
      /* The banner's centre in the window surface's pixels, where a pointer would click. */
      GtkNative *native = gtk_widget_get_native (banner);
      graphene_point_t centre, point;
      double dx, dy;
      graphene_point_init (&centre, gtk_widget_get_width (banner) / 2.0, gtk_widget_get_height (banner) / 2.0);
      if (gtk_widget_compute_point (banner, GTK_WIDGET (native), &centre, &point))
        {
          gtk_native_get_surface_transform (native, &dx, &dy);
          printf ("click %d %d\n", (int) (point.x + dx), (int) (point.y + dy));
        }
      fflush (stdout);
      return G_SOURCE_REMOVE;
    }
  fflush (stdout);
  /* The same as a click, or Enter on the focused banner. */
  gtk_widget_activate_action (banner, "banner.activate", NULL);
  return G_SOURCE_REMOVE;
}

static gboolean
close_landing (gpointer banner)
{
  if (real_input)
    {
      printf ("press Escape\n");
      fflush (stdout);
      return G_SOURCE_REMOVE;
    }
  /* The same as Escape or the landing screen's Done button. */
  gtk_widget_activate_action (banner, "banner.dismiss-landing", NULL);
  return G_SOURCE_REMOVE;
}

static gboolean
give_up (gpointer app)
{
  printf ("timed out\n");
  g_application_quit (app);
  return G_SOURCE_REMOVE;
}

static void
on_ad_received (GtkWidget *banner)
{
  printf ("ad-received\n");
  fflush (stdout);
  if (scripted)
    g_timeout_add (500, click_banner, banner);
}

static void
on_ad_failed (GtkWidget *banner, GError *error)
{
  printf ("ad-failed: %s\n", error->message);
  if (scripted)
    g_application_quit (G_APPLICATION (gtk_window_get_application (GTK_WINDOW (gtk_widget_get_root (banner)))));
}

static void
on_landing_will_present (GtkWidget *banner, const char *kind)
{
  printf ("landing-will-present %s\n", kind);
  fflush (stdout);
  if (scripted) /* let it grow in and load before closing it */
    g_timeout_add (2000, close_landing, banner);
}

static void
on_landing_did_dismiss (GtkWidget *banner, const char *kind)
{
  printf ("landing-did-dismiss %s\n", kind);
  fflush (stdout);
  if (scripted)
    {
      status = 0;
      g_application_quit (G_APPLICATION (gtk_window_get_application (GTK_WINDOW (gtk_widget_get_root (banner)))));
    }
}

static void
activate (GtkApplication *app)
{
  GtkWidget *window = gtk_application_window_new (app);
  gtk_window_set_title (GTK_WINDOW (window), "AdNet banner");
  gtk_window_set_default_size (GTK_WINDOW (window), 360, 480);

  /* The banner at the top, the application's content below it. */
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 12);
  GtkWidget *banner = adnet_banner_new ("c3e8b0f47d92a16");
  gtk_widget_set_halign (banner, GTK_ALIGN_CENTER);
  adnet_banner_set_test_ads (ADNET_BANNER (banner), TRUE);
  gtk_box_append (GTK_BOX (box), banner);
  GtkWidget *label = gtk_label_new ("Your application's content goes here.");
  gtk_widget_set_vexpand (label, TRUE);
  gtk_box_append (GTK_BOX (box), label);

  /* An overlay as the window's child: landing screens cover the whole window. */
  GtkWidget *overlay = gtk_overlay_new ();
  gtk_overlay_set_child (GTK_OVERLAY (overlay), box);
  gtk_window_set_child (GTK_WINDOW (window), overlay);

  g_signal_connect (banner, "ad-received", G_CALLBACK (on_ad_received), NULL);
  g_signal_connect (banner, "ad-failed", G_CALLBACK (on_ad_failed), NULL);
  g_signal_connect (banner, "landing-will-present", G_CALLBACK (on_landing_will_present), NULL);
  g_signal_connect (banner, "landing-did-dismiss", G_CALLBACK (on_landing_did_dismiss), NULL);
  if (scripted)
    g_timeout_add_seconds (60, give_up, app);
  gtk_window_present (GTK_WINDOW (window));
}

int
main (int argc, char **argv)
{
  real_input = g_strcmp0 (g_getenv ("ADNET_EXAMPLE_SCRIPT"), "input") == 0;
  scripted = real_input || g_strcmp0 (g_getenv ("ADNET_EXAMPLE_SCRIPT"), "1") == 0;
  GtkApplication *app = gtk_application_new ("net.adnet.ExampleBanner", G_APPLICATION_NON_UNIQUE);
  g_signal_connect (app, "activate", G_CALLBACK (activate), NULL);
  int ran = g_application_run (G_APPLICATION (app), argc, argv);
  g_object_unref (app);
  return scripted ? status : ran;
}
