#include "platform/backend/gtk/WebKitWebEngine.h"

#include <libsoup/soup.h>
#include <webkit/webkit.h>

#include <utility>

#include "platform/backend/gtk/NativeWidgetHost.h"
#include "platform/backend/gtk/WebKitModule.h"
#include "platform/backend/gtk/WebViewStack.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"

namespace platform::gtk {

namespace {

constexpr double kDefaultTimeout = 60;
// Far above what a landing page needs (a few tens of MiB), far below what hurts the machine.
constexpr guint kWebProcessMemoryLimitMiB = 512;
// How often WebKit measures the web process: a runaway page grows by hundreds of MiB a second.
constexpr double kMemoryPollSeconds = 1;

WebKitWebView* asView(void* view)
{
    return WEBKIT_WEB_VIEW(view);
}

WebViewNavigationType navigationType(WebKitNavigationType type)
{
    switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
        return WebViewNavigationType::LinkClicked;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
        return WebViewNavigationType::FormSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
        return WebViewNavigationType::BackForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
        return WebViewNavigationType::Reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
        return WebViewNavigationType::FormResubmitted;
    default:
        return WebViewNavigationType::Other;
    }
}

// WebKit's, GIO's, libsoup's and TLS errors in the URL-loading codes.
long urlErrorCode(const GError* error)
{
    if (!error)
        return urlerror::unknown;
    const int code = error->code;
    if (error->domain == WEBKIT_NETWORK_ERROR) {
        switch (code) {
        case WEBKIT_NETWORK_ERROR_CANCELLED:
            return urlerror::cancelled;
        case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL:
            return urlerror::unsupportedURL;
        case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST:
            return urlerror::fileDoesNotExist;
        case WEBKIT_NETWORK_ERROR_TRANSPORT:
            return urlerror::networkConnectionLost;
        default:
            return urlerror::unknown;
        }
    }
    if (error->domain == WEBKIT_POLICY_ERROR) {
        switch (code) {
        case WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE:
        case WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI:
            return urlerror::unsupportedURL;
        case WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE:
            // A response that was not allowed to show (an attachment, a type WebKit cannot
            // show): a failed load like any other. A navigation the client refused on the
            // way (a redirect) is told apart where the failure arrives.
            return urlerror::unknown;
        case WEBKIT_POLICY_ERROR_CANNOT_USE_RESTRICTED_PORT:
            return urlerror::cannotConnectToHost;
        default:
            return urlerror::unknown;
        }
    }
    if (error->domain == G_IO_ERROR) {
        switch (code) {
        case G_IO_ERROR_CANCELLED:
            return urlerror::cancelled;
        case G_IO_ERROR_TIMED_OUT:
            return urlerror::timedOut;
        case G_IO_ERROR_CONNECTION_REFUSED:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_PROXY_FAILED:
            return urlerror::cannotConnectToHost;
        case G_IO_ERROR_NETWORK_UNREACHABLE:
            return urlerror::notConnectedToInternet;
        case G_IO_ERROR_CONNECTION_CLOSED: // also G_IO_ERROR_BROKEN_PIPE
        case G_IO_ERROR_NOT_CONNECTED:
        case G_IO_ERROR_PARTIAL_INPUT: // the body ended before its announced length
            return urlerror::networkConnectionLost;
        default:
            return urlerror::unknown;
        }
    }
    if (error->domain == G_RESOLVER_ERROR)
        return urlerror::cannotFindHost;
    if (error->domain == G_TLS_ERROR)
        return urlerror::secureConnectionFailed;
    if (error->domain == SOUP_SESSION_ERROR) {
        switch (code) {
        case SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS:
            return urlerror::httpTooManyRedirects;
        case SOUP_SESSION_ERROR_REDIRECT_BAD_URI:
            return urlerror::badURL;
        case SOUP_SESSION_ERROR_PARSING:
        case SOUP_SESSION_ERROR_ENCODING:
            return urlerror::badServerResponse;
        case SOUP_SESSION_ERROR_MESSAGE_ALREADY_IN_QUEUE:
        default:
            return urlerror::unknown;
        }
    }
    return urlerror::unknown;
}

bool isAttachment(WebKitURIResponse* response)
{
    SoupMessageHeaders* headers = response ? webkit_uri_response_get_http_headers(response) : nullptr;
    if (!headers)
        return false;
    char* disposition = nullptr;
    const bool parsed = soup_message_headers_get_content_disposition(headers, &disposition, nullptr);
    const bool attachment = parsed && disposition && g_ascii_strcasecmp(disposition, "inline") != 0;
    g_free(disposition);
    return attachment;
}

// Landing pages are ad pages: what they do not need is off, so that a stranger's page can
// use less of the machine and reach less of the user.
void restrictSettings(WebKitSettings* settings)
{
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_allow_modal_dialogs(settings, FALSE);
    webkit_settings_set_enable_fullscreen(settings, FALSE);
    webkit_settings_set_enable_webgl(settings, FALSE);
    webkit_settings_set_enable_webaudio(settings, FALSE);
    webkit_settings_set_enable_media_stream(settings, FALSE);
    webkit_settings_set_enable_webrtc(settings, FALSE);
    webkit_settings_set_enable_mediasource(settings, FALSE);
    webkit_settings_set_enable_encrypted_media(settings, FALSE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, TRUE);
    webkit_settings_set_enable_html5_local_storage(settings, FALSE);
    webkit_settings_set_enable_html5_database(settings, FALSE);
    webkit_settings_set_enable_page_cache(settings, FALSE);
    webkit_settings_set_javascript_can_access_clipboard(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_top_navigation_to_data_urls(settings, FALSE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
}

long tlsErrorCode(GTlsCertificateFlags flags)
{
    if (flags & G_TLS_CERTIFICATE_NOT_ACTIVATED)
        return urlerror::serverCertificateNotYetValid;
    if (flags & G_TLS_CERTIFICATE_EXPIRED)
        return urlerror::serverCertificateHasBadDate;
    if (flags & G_TLS_CERTIFICATE_UNKNOWN_CA)
        return urlerror::serverCertificateHasUnknownRoot;
    return urlerror::serverCertificateUntrusted;
}

// A script's value as the page would print it; undefined and null as "".
std::string scriptResult(JSCValue* value)
{
    if (jsc_value_is_undefined(value) || jsc_value_is_null(value))
        return {};
    char* text = jsc_value_to_string(value);
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// A navigation decision waiting for the client's answer; refused if nobody answers.
class PendingDecision final {
public:
    explicit PendingDecision(WebKitPolicyDecision* decision)
        : m_decision(WEBKIT_POLICY_DECISION(g_object_ref(decision)))
    {
    }
    ~PendingDecision() { answer(false); }
    PendingDecision(const PendingDecision&) = delete;
    PendingDecision& operator=(const PendingDecision&) = delete;

    void answer(bool use)
    {
        if (!m_decision)
            return;
        if (use)
            webkit_policy_decision_use(m_decision);
        else
            webkit_policy_decision_ignore(m_decision);
        g_object_unref(m_decision);
        m_decision = nullptr;
    }

private:
    WebKitPolicyDecision* m_decision;
};

struct Evaluation {
    std::function<void(std::optional<std::string>)> done;
};

void deliver(std::function<void(std::optional<std::string>)> done, std::optional<std::string> result)
{
    if (!done)
        return;
    if (auto loop = RunLoop::mainShared())
        loop->post([done = std::move(done), result = std::move(result)] { done(result); });
}

} // namespace

// ---- signals ----------------------------------------------------------------------------

struct WebKitWebEngine::Signals {
    static WebKitWebEngine& engine(gpointer data) { return *static_cast<WebKitWebEngine*>(data); }

    static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer data)
    {
        auto& self = engine(data);
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
            // What WebKit cannot show, or is told to save, would become a download: there
            // are none here.
            auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
            if (!webkit_response_policy_decision_is_mime_type_supported(response) ||
                isAttachment(webkit_response_policy_decision_get_response(response))) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            return FALSE;
        }
        auto* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        std::string url = uri ? uri : "";
        const auto kind = navigationType(webkit_navigation_action_get_navigation_type(action));
        const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
        if (!newWindow && !self.m_approvedURI.empty() && url == self.m_approvedURI) {
            // Already asked about as a new window's navigation.
            self.m_approvedURI.clear();
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        auto pending = std::make_shared<PendingDecision>(decision);
        self.post([pending, url, kind, newWindow](WebKitWebEngine& engine) {
            URLRequest asked{url};
            if (engine.m_lastRequest && engine.m_lastRequest->url == url)
                asked = *engine.m_lastRequest;
            const bool allowed = engine.m_client->engineShouldStartLoad(asked, kind);
            if (!allowed) {
                // Refusing a redirect ends the load "interrupted by policy": the client's
                // own choice, a cancelled load.
                engine.m_refusedNavigation = engine.m_inLoad;
                pending->answer(false);
                if (engine.m_apiLoadPending && !engine.m_inLoad) {
                    engine.m_apiLoadPending = false;
                    engine.m_nextTimeout = 0;
                }
                return;
            }
            if (!newWindow) {
                pending->answer(true);
                return;
            }
            // No second window: the page opens here.
            pending->answer(false);
            if (engine.m_view) {
                engine.m_approvedURI = url;
                webkit_web_view_load_uri(asView(engine.m_view), url.c_str());
            }
        });
        return TRUE;
    }

    static void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data)
    {
        auto& self = engine(data);
        traceWeb(event == WEBKIT_LOAD_STARTED     ? "load started"
                 : event == WEBKIT_LOAD_COMMITTED ? "load committed"
                 : event == WEBKIT_LOAD_FINISHED  ? "load finished"
                                                  : "load redirected");
        if (event == WEBKIT_LOAD_STARTED)
            self.post([](WebKitWebEngine& engine) { engine.reportStart(); });
        else if (event == WEBKIT_LOAD_COMMITTED)
            self.post([](WebKitWebEngine& engine) { engine.m_client->engineStateChanged(); });
        else if (event == WEBKIT_LOAD_FINISHED)
            self.post([](WebKitWebEngine& engine) { engine.finishWithTitle(); });
    }

    static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error, gpointer data)
    {
        const long code = urlErrorCode(error);
        std::string message = error ? error->message : "";
        std::string url = uri ? uri : "";
        const bool byPolicy = error && error->domain == WEBKIT_POLICY_ERROR &&
                              error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE;
        engine(data).post([code, byPolicy, message, url](WebKitWebEngine& engine) {
            const bool timedOut = engine.m_timedOut && code == urlerror::cancelled;
            const bool refused = byPolicy && engine.m_refusedNavigation;
            engine.reportFailure(timedOut  ? urlerror::timedOut
                                 : refused ? urlerror::cancelled
                                           : code,
                                 timedOut ? "the request timed out" : message, url, true);
        });
        // Handled: the page stays as it was instead of becoming WebKit's error page.
        return TRUE;
    }

    static gboolean tlsFailed(WebKitWebView*, const char* uri, GTlsCertificate*, GTlsCertificateFlags errors,
                              gpointer data)
    {
        const long code = tlsErrorCode(errors);
        std::string url = uri ? uri : "";
        engine(data).post([code, url](WebKitWebEngine& engine) {
            engine.reportFailure(code, "the server's certificate is not trusted", url, true);
        });
        return TRUE;
    }

    static void titleChanged(GObject*, GParamSpec*, gpointer data)
    {
        engine(data).post([](WebKitWebEngine& engine) {
            engine.m_documentTitle.reset();
            engine.m_client->engineStateChanged();
        });
    }

    static void processTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer data)
    {
        const char* uri = webkit_web_view_get_uri(view);
        std::string url = uri ? uri : "";
        // A page that grew past the web process's memory limit is a page too large to load.
        const bool tooLarge = reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT;
        engine(data).post([url, tooLarge](WebKitWebEngine& engine) {
            if (tooLarge)
                engine.reportFailure(urlerror::dataLengthExceedsMaximum, "the page used more memory than it may", url,
                                     false);
            else
                engine.reportFailure(urlerror::unknown, "the web process ended", url, false);
        });
    }

    // ---- WebKit's own windows and prompts: none, and the page never waits for one

    static gboolean scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer)
    {
        // Answered at once as if dismissed: confirm() is false, prompt() null, and leaving
        // a page that asks before unloading is allowed (a page cannot hold the user).
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
            break;
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
            break;
        default:
            break;
        }
        // Handled here and now: returning TRUE without keeping the dialog answers it
        // (webkit_script_dialog_close is only for dialogs answered later).
        return TRUE;
    }

    static gboolean refuse(WebKitWebView*, gpointer) { return TRUE; }
    static gboolean refusePrint(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }
    static gboolean refuseNotification(WebKitWebView*, WebKitNotification*, gpointer) { return TRUE; }
    // Its entries would open windows, save files or print.
    static gboolean refuseContextMenu(WebKitWebView*, WebKitContextMenu*, WebKitHitTestResult*, gpointer)
    {
        return TRUE;
    }

    static gboolean fileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer)
    {
        webkit_file_chooser_request_cancel(request);
        return TRUE;
    }

    static gboolean permission(WebKitWebView*, WebKitPermissionRequest* request, gpointer)
    {
        webkit_permission_request_deny(request);
        return TRUE;
    }

    static gboolean permissionState(WebKitWebView*, WebKitPermissionStateQuery* query, gpointer)
    {
        webkit_permission_state_query_finish(query, WEBKIT_PERMISSION_STATE_DENIED);
        return TRUE;
    }

    static gboolean authenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer)
    {
        webkit_authentication_request_cancel(request);
        return TRUE;
    }

    static gboolean colorChooser(WebKitWebView*, WebKitColorChooserRequest* request, gpointer)
    {
        webkit_color_chooser_request_cancel(request);
        return TRUE;
    }

    static void downloadStarted(WebKitNetworkSession*, WebKitDownload* download, gpointer)
    {
        // Whatever slipped past the response policy (an <a download> link, a context
        // menu's "save"): nothing is written anywhere.
        webkit_download_cancel(download);
    }

    static void evaluated(GObject* source, GAsyncResult* result, gpointer data)
    {
        std::unique_ptr<Evaluation> job(static_cast<Evaluation*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        std::optional<std::string> out;
        if (value) {
            out = scriptResult(value);
            g_object_unref(value);
        }
        if (error)
            g_error_free(error);
        deliver(std::move(job->done), std::move(out));
    }
};

// ---- life -------------------------------------------------------------------------------

// Whoever holds this code (the module, or a program linking it in) offers it for pages.
const bool kRegistered = [] {
    registerWebKitEngineMaker([](std::shared_ptr<WebViewStack> stack) -> std::shared_ptr<WebEngine> {
        return WebKitWebEngine::create(std::move(stack));
    });
    return true;
}();

std::shared_ptr<WebKitWebEngine> WebKitWebEngine::create(std::shared_ptr<WebViewStack> stack)
{
    std::shared_ptr<WebKitWebEngine> engine(new WebKitWebEngine(stack));
    engine->build();
    if (stack)
        stack->add(*engine);
    return engine;
}

WebKitWebEngine::WebKitWebEngine(std::weak_ptr<WebViewStack> stack) : m_stack(std::move(stack))
{
}

void WebKitWebEngine::build()
{
    if (m_stack.expired())
        return;
    traceWeb("engine making");
    // A web context and network session of its own: when the page goes, WebKit's processes
    // for it go too, and so does their memory (a shared context keeps its web process).
    // Neither keeps a cache of pages or resources.
    // A page that allocates without end is stopped at the memory limit: its web process
    // is ended, which is reported as a failed load.
    WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(memory, kWebProcessMemoryLimitMiB);
    // Each threshold must stay below the next one up: set from the top.
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    webkit_memory_pressure_settings_set_strict_threshold(memory, 0.75);
    webkit_memory_pressure_settings_set_conservative_threshold(memory, 0.5);
    webkit_memory_pressure_settings_set_poll_interval(memory, kMemoryPollSeconds);
    WebKitWebContext* context =
        WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "memory-pressure-settings", memory, nullptr));
    webkit_memory_pressure_settings_free(memory);
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    g_signal_connect(context, "initialize-web-process-extensions",
                     G_CALLBACK(+[](WebKitWebContext*, gpointer) { traceWeb("web process starting"); }), nullptr);
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    g_signal_connect(session, "download-started", G_CALLBACK(Signals::downloadStarted), nullptr);
    GtkWidget* view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "network-session", session, nullptr));
    g_object_ref_sink(view);
    g_object_unref(session);
    g_object_unref(context);
    m_view = view;
    restrictSettings(webkit_web_view_get_settings(asView(view)));
    gtk_widget_set_visible(view, FALSE);
    g_signal_connect(view, "script-dialog", G_CALLBACK(Signals::scriptDialog), nullptr);
    g_signal_connect(view, "print", G_CALLBACK(Signals::refusePrint), nullptr);
    g_signal_connect(view, "run-file-chooser", G_CALLBACK(Signals::fileChooser), nullptr);
    g_signal_connect(view, "permission-request", G_CALLBACK(Signals::permission), nullptr);
    g_signal_connect(view, "query-permission-state", G_CALLBACK(Signals::permissionState), nullptr);
    g_signal_connect(view, "enter-fullscreen", G_CALLBACK(Signals::refuse), nullptr);
    g_signal_connect(view, "authenticate", G_CALLBACK(Signals::authenticate), nullptr);
    g_signal_connect(view, "run-color-chooser", G_CALLBACK(Signals::colorChooser), nullptr);
    g_signal_connect(view, "show-notification", G_CALLBACK(Signals::refuseNotification), nullptr);
    g_signal_connect(view, "context-menu", G_CALLBACK(Signals::refuseContextMenu), nullptr);
    g_signal_connect(view, "decide-policy", G_CALLBACK(Signals::decidePolicy), this);
    g_signal_connect(view, "load-changed", G_CALLBACK(Signals::loadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(Signals::loadFailed), this);
    g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(Signals::tlsFailed), this);
    g_signal_connect(view, "notify::title", G_CALLBACK(Signals::titleChanged), this);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(Signals::processTerminated), this);
    traceWeb("engine made");
}

WebKitWebEngine::~WebKitWebEngine()
{
    if (auto stack = m_stack.lock())
        stack->remove(*this);
    drop();
}

void WebKitWebEngine::drop()
{
    if (m_timeout) {
        m_timeout->invalidate();
        m_timeout.reset();
    }
    if (!m_view)
        return;
    GtkWidget* view = GTK_WIDGET(m_view);
    g_signal_handlers_disconnect_by_data(view, this);
    if (auto stack = m_stack.lock(); stack && stack->window())
        stack->window()->removeNativeWidget(view);
    webkit_web_view_stop_loading(asView(view));
    traceWeb("engine dropped");
    m_view = nullptr;
    m_shown = false;
    g_object_unref(view);
}

void WebKitWebEngine::post(std::function<void(WebKitWebEngine&)> report)
{
    m_reports.push_back(std::move(report));
    scheduleDrain();
}

void WebKitWebEngine::scheduleDrain()
{
    auto loop = RunLoop::mainShared();
    if (!loop || m_drainPosted || m_reportsHeld || m_reports.empty())
        return;
    m_drainPosted = true;
    std::weak_ptr<WebKitWebEngine> weak = weak_from_this();
    loop->post([weak] {
        if (auto self = weak.lock()) {
            self->m_drainPosted = false;
            self->drain();
        }
    });
}

void WebKitWebEngine::drain()
{
    auto keep = shared_from_this();
    while (!m_reportsHeld && !m_reports.empty()) {
        auto report = std::move(m_reports.front());
        m_reports.pop_front();
        // Without a client nothing is told (and a pending decision is refused as it goes).
        if (m_client)
            report(*this);
    }
}

void WebKitWebEngine::finishWithTitle()
{
    // After a failure WebKit still finishes; that end was reported already.
    if (!m_inLoad || !m_view)
        return;
    m_reportsHeld = true;
    std::weak_ptr<WebKitWebEngine> weak = weak_from_this();
    auto* job = new Evaluation{[weak](std::optional<std::string> title) {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_reportsHeld = false;
        if (title)
            self->m_documentTitle = std::move(title);
        if (self->m_inLoad && self->m_client) {
            self->endLoad();
            self->m_client->engineDidFinishLoad();
        }
        self->scheduleDrain();
    }};
    const std::string script = "document.title";
    webkit_web_view_evaluate_javascript(asView(m_view), script.c_str(), gssize(script.size()), nullptr, nullptr,
                                        nullptr, &Signals::evaluated, job);
}

// ---- load reports -----------------------------------------------------------------------

void WebKitWebEngine::reportStart()
{
    if (m_inLoad) {
        // A new navigation took over before this one ended.
        endLoad();
        const char* uri = m_view ? webkit_web_view_get_uri(asView(m_view)) : nullptr;
        m_client->engineDidFailLoad(
            {urlerror::cancelled, urlerror::domain, "a new navigation replaced the load", uri ? uri : ""});
        if (!m_client)
            return;
    }
    m_inLoad = true;
    m_apiLoadPending = false;
    m_timedOut = false;
    m_refusedNavigation = false;
    m_documentTitle.reset();
    if (m_nextTimeout > 0) {
        std::weak_ptr<WebKitWebEngine> weak = weak_from_this();
        m_timeout = Timer::schedule(m_nextTimeout, false, [weak](Timer&) {
            auto self = weak.lock();
            if (!self || !self->m_view || !self->m_inLoad)
                return;
            self->m_timedOut = true;
            webkit_web_view_stop_loading(asView(self->m_view));
        });
        m_nextTimeout = 0;
    }
    m_client->engineDidStartLoad();
}

void WebKitWebEngine::reportFailure(long code, const std::string& description, const std::string& url, bool startIfIdle)
{
    if (!m_inLoad && startIfIdle) {
        // Failed before WebKit said it started (a URL it cannot show): still one start and
        // one end.
        m_inLoad = true;
        m_client->engineDidStartLoad();
        if (!m_client)
            return;
    }
    endLoad();
    m_apiLoadPending = false;
    m_client->engineDidFailLoad({code, urlerror::domain, description, url});
}

void WebKitWebEngine::endLoad()
{
    m_inLoad = false;
    m_timedOut = false;
    m_refusedNavigation = false;
    if (m_timeout) {
        m_timeout->invalidate();
        m_timeout.reset();
    }
}

// ---- commands ---------------------------------------------------------------------------

void WebKitWebEngine::load(const URLRequest& request)
{
    if (!m_view)
        return;
    traceWeb("load asked");
    m_lastRequest = request;
    m_apiLoadPending = true;
    m_nextTimeout = request.timeoutInterval > 0 ? request.timeoutInterval : kDefaultTimeout;
    WebKitURIRequest* uriRequest = webkit_uri_request_new(request.url.c_str());
    if (request.cachePolicy == URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData)
        if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(uriRequest)) {
            soup_message_headers_replace(headers, "Cache-Control", "no-cache");
            soup_message_headers_replace(headers, "Pragma", "no-cache");
        }
    webkit_web_view_load_request(asView(m_view), uriRequest);
    g_object_unref(uriRequest);
}

void WebKitWebEngine::goBack()
{
    if (m_view)
        webkit_web_view_go_back(asView(m_view));
}

void WebKitWebEngine::goForward()
{
    if (m_view)
        webkit_web_view_go_forward(asView(m_view));
}

void WebKitWebEngine::reload()
{
    if (!m_view)
        return;
    // Nothing shown yet (the first load failed): try that request again.
    if (!webkit_web_view_get_uri(asView(m_view))) {
        if (m_lastRequest)
            load(*m_lastRequest);
        return;
    }
    webkit_web_view_reload(asView(m_view));
}

void WebKitWebEngine::stopLoading()
{
    m_apiLoadPending = false;
    m_nextTimeout = 0;
    if (m_view)
        webkit_web_view_stop_loading(asView(m_view));
}

bool WebKitWebEngine::isLoading() const
{
    return m_inLoad || m_apiLoadPending;
}

bool WebKitWebEngine::canGoBack() const
{
    return m_view && webkit_web_view_can_go_back(asView(m_view));
}

bool WebKitWebEngine::canGoForward() const
{
    return m_view && webkit_web_view_can_go_forward(asView(m_view));
}

std::optional<URLRequest> WebKitWebEngine::request() const
{
    const char* uri = m_view ? webkit_web_view_get_uri(asView(m_view)) : nullptr;
    if (!uri || !*uri)
        return m_lastRequest;
    if (m_lastRequest && m_lastRequest->url == uri)
        return m_lastRequest;
    return URLRequest{uri};
}

std::string WebKitWebEngine::title() const
{
    if (m_documentTitle)
        return *m_documentTitle;
    const char* title = m_view ? webkit_web_view_get_title(asView(m_view)) : nullptr;
    return title ? title : "";
}

void WebKitWebEngine::evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done)
{
    if (!m_view) {
        deliver(std::move(done), std::nullopt);
        return;
    }
    auto* job = new Evaluation{std::move(done)};
    webkit_web_view_evaluate_javascript(asView(m_view), script.c_str(), gssize(script.size()), nullptr, nullptr,
                                        nullptr, &Signals::evaluated, job);
}

// ---- placement --------------------------------------------------------------------------

void WebKitWebEngine::placementChanged()
{
    if (auto stack = m_stack.lock(); stack && stack->window())
        stack->window()->startFrames();
}

std::optional<WebPlacement> WebKitWebEngine::placement(double now) const
{
    return m_client ? m_client->enginePlacement(now) : std::nullopt;
}

bool WebKitWebEngine::show(const Allocation& allocation, double zoom, double opacity)
{
    if (!m_view)
        return false;
    GtkWidget* view = GTK_WIDGET(m_view);
    if (!m_shown) {
        traceWeb("page shown");
        gtk_widget_set_visible(view, TRUE);
        m_shown = true;
    }
    if (zoom != m_zoom) {
        // The page is laid out in points, like the game: a 320-point view is 320 CSS
        // pixels wide at any window size.
        webkit_web_view_set_zoom_level(asView(m_view), zoom);
        m_zoom = zoom;
    }
    gtk_widget_set_opacity(view, opacity);
    gtk_widget_set_can_target(view, opacity >= 0.01);
    const bool moved = !(allocation == m_allocation);
    m_allocation = allocation;
    return moved;
}

void WebKitWebEngine::hide()
{
    if (m_view && m_shown)
        gtk_widget_set_visible(GTK_WIDGET(m_view), FALSE);
    m_shown = false;
}

} // namespace platform::gtk
