// dovrant-http: the HTTPS component from the command line.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "https/ipshttps.h"

namespace {

const char* const kUsage =
    "usage: dovrant-http [options] URL\n"
    "  --post FILE | --put FILE | --head   method and body (GET by default)\n"
    "  --content-type TYPE                 Content-Type of the body\n"
    "  --output FILE                       write the response body to FILE (LocalFile)\n"
    "  --user TEXT, --password-file FILE   server credentials (Basic authorization)\n"
    "  --proxy HOST:PORT                   HTTP proxy\n"
    "  --proxy-user TEXT, --proxy-password TEXT, --proxy-password-file FILE\n"
    "  --proxy-ssl automatic|always|never|tunnel\n"
    "  --firewall-type none|tunnel|socks4|socks5\n"
    "  --firewall HOST:PORT, --firewall-user TEXT, --firewall-password TEXT,\n"
    "  --firewall-password-file FILE\n"
    "  --timeout SECONDS                   limit for the whole request (0: none)\n"
    "  --user-agent TEXT\n"
    "  --follow-redirects never|always|same-scheme\n"
    "  --accept-any-certificate            accept server certificates that fail the check\n"
    "  --events                            print each event on stderr as it fires\n"
    "  --platform-http                     run the request through the platform HTTP library\n"
    "                                      (libcurl) instead of the component's own sockets;\n"
    "                                      --proxy '*:80' then uses the system's proxy settings\n"
    "                                      (http_proxy, https_proxy, no_proxy), and a failed\n"
    "                                      certificate check always ends the request\n"
    "  --help\n"
    "Without --output the body goes to stdout and the status line to stderr; with it the\n"
    "status line goes to stdout. A failure prints \"CODE: description\" on stderr and exits 1;\n"
    "so does standard output that cannot be written.\n"
    "Passwords: every local user can read the arguments of a running program, so keep them\n"
    "off the command line. A -file option reads the first line of FILE; without an option\n"
    "the variables DOVRANT_HTTP_PASSWORD, DOVRANT_HTTP_PROXY_PASSWORD and\n"
    "DOVRANT_HTTP_FIREWALL_PASSWORD are used.\n";

struct TOptions {
    TipshttpsActions Action = httpGet;
    std::string AttachedFile, ContentType, Output, URL, UserAgent;
    bool HasUserAgent = false;
    std::string User, Password;
    bool HasPassword = false, HasProxyPassword = false, HasFirewallPassword = false;
    std::string ProxyHost, ProxyUser, ProxyPassword;
    uint16_t ProxyPort = 80;
    bool HasProxySSL = false;
    TipshttpsProxySSLs ProxySSL = psAutomatic;
    bool HasFirewallType = false;
    TipshttpsFirewallTypes FirewallType = fwNone;
    std::string FirewallHost, FirewallUser, FirewallPassword;
    int FirewallPort = -1;
    int Timeout = 0;
    TipshttpsFollowRedirects FollowRedirects = frNever;
    bool AcceptAnyCertificate = false;
    bool Events = false;
    bool PlatformHttp = false;
};

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "dovrant-http: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

template <typename T>
T Choice(const std::string& option, const std::string& value,
         const std::map<std::string, T>& choices) {
    auto found = choices.find(value);
    if (found == choices.end()) UsageError("bad value for " + option + ": " + value);
    return found->second;
}

void SplitHostPort(const std::string& option, const std::string& text, std::string& host,
                   int& port) {
    const size_t colon = text.rfind(':');
    char* end = nullptr;
    const long number =
        colon == std::string::npos ? -1 : std::strtol(text.c_str() + colon + 1, &end, 10);
    if (colon == std::string::npos || colon == 0 || *end != '\0' || number < 1 || number > 65535)
        UsageError(option + " needs HOST:PORT");
    host = text.substr(0, colon);
    port = static_cast<int>(number);
}

// The first line of path, without its line end.
std::string PasswordFromFile(const std::string& option, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) UsageError(option + ": cannot read " + path + ": " + std::strerror(errno));
    std::string line;
    for (int c; (c = std::fgetc(file)) != EOF && c != '\n';) line += static_cast<char>(c);
    std::fclose(file);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Takes the variable's value when no option gave the password.
void PasswordFromEnvironment(const char* variable, bool& given, std::string& password) {
    if (given) return;
    if (const char* value = std::getenv(variable)) {
        password = value;
        given = true;
    }
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) UsageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help") {
            const bool written = std::fputs(kUsage, stdout) >= 0 && std::fflush(stdout) == 0;
            if (!written)
                std::fprintf(stderr, "dovrant-http: cannot write to standard output: %s\n",
                             std::strerror(errno));
            std::exit(written ? 0 : 1);
        } else if (arg == "--post" || arg == "--put") {
            options.Action = arg == "--post" ? httpPost : httpPut;
            options.AttachedFile = value();
        } else if (arg == "--head") {
            options.Action = httpHead;
        } else if (arg == "--content-type") {
            options.ContentType = value();
        } else if (arg == "--output") {
            options.Output = value();
        } else if (arg == "--proxy") {
            int port = 0;
            SplitHostPort(arg, value(), options.ProxyHost, port);
            options.ProxyPort = static_cast<uint16_t>(port);
        } else if (arg == "--proxy-user") {
            options.ProxyUser = value();
        } else if (arg == "--user") {
            options.User = value();
        } else if (arg == "--password-file") {
            options.Password = PasswordFromFile(arg, value());
            options.HasPassword = true;
        } else if (arg == "--proxy-password") {
            options.ProxyPassword = value();
            options.HasProxyPassword = true;
        } else if (arg == "--proxy-password-file") {
            options.ProxyPassword = PasswordFromFile(arg, value());
            options.HasProxyPassword = true;
        } else if (arg == "--proxy-ssl") {
            options.HasProxySSL = true;
            options.ProxySSL = Choice<TipshttpsProxySSLs>(arg, value(),
                                                          {{"automatic", psAutomatic},
                                                           {"always", psAlways},
                                                           {"never", psNever},
                                                           {"tunnel", psTunnel}});
        } else if (arg == "--firewall-type") {
            options.HasFirewallType = true;
            options.FirewallType = Choice<TipshttpsFirewallTypes>(arg, value(),
                                                                  {{"none", fwNone},
                                                                   {"tunnel", fwTunnel},
                                                                   {"socks4", fwSOCKS4},
                                                                   {"socks5", fwSOCKS5}});
        } else if (arg == "--firewall") {
            SplitHostPort(arg, value(), options.FirewallHost, options.FirewallPort);
        } else if (arg == "--firewall-user") {
            options.FirewallUser = value();
        } else if (arg == "--firewall-password") {
            options.FirewallPassword = value();
            options.HasFirewallPassword = true;
        } else if (arg == "--firewall-password-file") {
            options.FirewallPassword = PasswordFromFile(arg, value());
            options.HasFirewallPassword = true;
        } else if (arg == "--timeout") {
            const std::string text = value();
            char* end = nullptr;
            const long seconds = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || seconds < 0 || seconds > 2000000)
                UsageError("bad value for --timeout: " + text);
            options.Timeout = static_cast<int>(seconds);
        } else if (arg == "--user-agent") {
            options.UserAgent = value();
            options.HasUserAgent = true;
        } else if (arg == "--follow-redirects") {
            options.FollowRedirects = Choice<TipshttpsFollowRedirects>(
                arg, value(),
                {{"never", frNever}, {"always", frAlways}, {"same-scheme", frSameScheme}});
        } else if (arg == "--accept-any-certificate") {
            options.AcceptAnyCertificate = true;
        } else if (arg == "--events") {
            options.Events = true;
        } else if (arg == "--platform-http") {
            options.PlatformHttp = true;
        } else if (arg.starts_with("--")) {
            UsageError("unknown option " + arg);
        } else if (options.URL.empty()) {
            options.URL = arg;
        } else {
            UsageError("more than one URL");
        }
    }
    if (options.URL.empty()) UsageError("no URL");
    PasswordFromEnvironment("DOVRANT_HTTP_PASSWORD", options.HasPassword, options.Password);
    PasswordFromEnvironment("DOVRANT_HTTP_PROXY_PASSWORD", options.HasProxyPassword,
                            options.ProxyPassword);
    PasswordFromEnvironment("DOVRANT_HTTP_FIREWALL_PASSWORD", options.HasFirewallPassword,
                            options.FirewallPassword);
    return options;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void PrintEvent(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

void AttachEventPrinters(TipsHTTPS& http) {
    auto codeEvent = [](const char* name) {
        return [name](TipsHTTPS*, int code, const std::string& text) {
            PrintEvent(std::string(name) + " " + std::to_string(code) + " " + Quoted(text));
        };
    };
    auto directionEvent = [](const char* name) {
        return [name](TipsHTTPS*, int direction) {
            PrintEvent(std::string(name) + " " + std::to_string(direction));
        };
    };
    http.OnConnected = codeEvent("OnConnected");
    http.OnDisconnected = codeEvent("OnDisconnected");
    http.OnError = codeEvent("OnError");
    http.OnStartTransfer = directionEvent("OnStartTransfer");
    http.OnEndTransfer = directionEvent("OnEndTransfer");
    http.OnHeader = [](TipsHTTPS*, const std::string& field, const std::string& value) {
        PrintEvent("OnHeader " + Quoted(field) + " " + Quoted(value));
    };
    http.OnSetCookie = [](TipsHTTPS*, const std::string& name, const std::string& value,
                          const std::string& expires, const std::string& domain,
                          const std::string& path, bool secure) {
        PrintEvent("OnSetCookie " + Quoted(name) + " " + Quoted(value) + " " + Quoted(expires) +
                   " " + Quoted(domain) + " " + Quoted(path) + (secure ? " true" : " false"));
    };
    http.OnSSLStatus = [](TipsHTTPS*, const std::string& message) {
        PrintEvent("OnSSLStatus " + Quoted(message));
    };
    http.OnSSLServerAuthentication = [](TipsHTTPS*, long handle, const std::string& subject,
                                        const std::string& issuer, const std::string& status,
                                        bool& accept) {
        PrintEvent("OnSSLServerAuthentication " + std::to_string(handle) + " " + Quoted(subject) +
                   " " + Quoted(issuer) + " " + Quoted(status) + (accept ? " true" : " false"));
    };
    http.OnTransfer = [](TipsHTTPS*, int direction, int64_t total, const std::string& text) {
        PrintEvent("OnTransfer " + std::to_string(direction) + " " + std::to_string(total) + " [" +
                   std::to_string(text.size()) + " bytes]");
    };
}

// Chains a second handler behind the one already set (the printer, when --events is on).
template <typename TEvent, typename THandler>
void Chain(TEvent& event, THandler handler) {
    TEvent first = event;
    event = [first, handler](auto&&... args) {
        if (first) first(args...);
        handler(args...);
    };
}

void Configure(TipsHTTPS& http, const TOptions& options) {
    if (options.HasUserAgent) http.SetUserAgent(options.UserAgent);
    http.SetUseWinInet(options.PlatformHttp);
    http.SetFollowRedirects(options.FollowRedirects);
    http.SetProxyServer(options.ProxyHost);
    http.SetProxyPort(options.ProxyPort);
    http.SetProxyUser(options.ProxyUser);
    http.SetProxyPassword(options.ProxyPassword);
    // ProxySSL resets the firewall, and FirewallType resets its port: keep this order.
    if (options.HasProxySSL) http.SetProxySSL(options.ProxySSL);
    if (options.HasFirewallType) http.SetFirewallType(options.FirewallType);
    if (!options.FirewallHost.empty()) http.SetFirewallHost(options.FirewallHost);
    if (options.FirewallPort > 0) http.SetFirewallPort(static_cast<uint16_t>(options.FirewallPort));
    http.SetFirewallUser(options.FirewallUser);
    http.SetFirewallPassword(options.FirewallPassword);
    http.SetTimeout(options.Timeout);
    http.SetContentType(options.ContentType);
    http.SetLocalFile(options.Output);
    http.SetAttachedFile(options.AttachedFile);
    http.SetURL(options.URL);
    // After the URL, whose own "user:password@" they replace.
    if (!options.User.empty()) http.SetUser(options.User);
    if (options.HasPassword) http.SetPassword(options.Password);
}

// The errno of the first failed write to standard output; 0 while all went well.
int outputError = 0;

void WriteOutput(const std::string& text) {
    if (outputError == 0 && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        outputError = errno ? errno : EIO;
}

void FlushOutput() {
    if (outputError == 0 && std::fflush(stdout) != 0) outputError = errno ? errno : EIO;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const TOptions options = ParseOptions(argc, argv);
    static char stdoutBuffer[1 << 16];
    std::setvbuf(stdout, stdoutBuffer, _IOFBF, sizeof stdoutBuffer);

    TipsHTTPS http;
    if (options.Events) AttachEventPrinters(http);
    if (options.AcceptAnyCertificate)
        Chain(http.OnSSLServerAuthentication,
              [](TipsHTTPS*, long, const std::string&, const std::string&, const std::string&,
                 bool& accept) { accept = true; });
    if (options.Output.empty())
        Chain(http.OnTransfer,
              [](TipsHTTPS* sender, int direction, int64_t, const std::string& text) {
                  if (direction != 1 || outputError != 0) return;
                  WriteOutput(text);
                  // Nobody takes the rest of the body: stop fetching it.
                  if (outputError != 0) sender->Interrupt();
              });
    Configure(http, options);

    int status = 0;
    std::string failure;
    try {
        http.SetAction(options.Action);
    } catch (const EipsHTTPS& error) {
        failure = error.what();
        status = 1;
    }
    FlushOutput();
    if (outputError == 0 && !failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
    if (outputError == 0 && !http.StatusLine().empty()) {
        if (options.Output.empty())
            std::fprintf(stderr, "%s\n", http.StatusLine().c_str());
        else
            WriteOutput(http.StatusLine() + "\n");
        FlushOutput();
    }
    if (outputError != 0) {
        std::fprintf(stderr, "dovrant-http: cannot write to standard output: %s\n",
                     std::strerror(outputError));
        return 1;
    }
    return status;
}
