#include "https/layer.h"
#include "https/socks4_layer.h"
#include "https/socks5_layer.h"
#include "https/tcp_layer.h"
#include "https/tls_layer.h"
#include "https/tunnel_layer.h"

std::unique_ptr<TLayer> BuildConnectionStack(const TConnectionSettings& settings,
                                             TLinkContext& context) {
    bool viaFirewall = settings.FirewallType != TFirewallKind::None;
    std::unique_ptr<TLayer> top =
        std::make_unique<TTcpLayer>(context, viaFirewall, settings.LocalHost);
    TFirewallSettings firewall{settings.FirewallHost, settings.FirewallPort, settings.FirewallUser,
                               settings.FirewallPassword};
    switch (settings.FirewallType) {
        case TFirewallKind::Tunnel:
            top = std::make_unique<TTunnelLayer>(context, std::move(top), firewall);
            break;
        case TFirewallKind::SOCKS4:
            top = std::make_unique<TSocks4Layer>(context, std::move(top), firewall);
            break;
        case TFirewallKind::SOCKS5:
            top = std::make_unique<TSocks5Layer>(context, std::move(top), firewall);
            break;
        case TFirewallKind::None:
            break;
    }
    if (settings.UseTLS)
        top = std::make_unique<TTlsLayer>(context, std::move(top), settings.SSLCertStore,
                                          settings.SSLCertSubject);
    return top;
}
