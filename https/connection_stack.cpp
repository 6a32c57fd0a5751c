#include "https/layer.h"
#include "https/tcp_layer.h"

std::unique_ptr<TLayer> BuildConnectionStack(const TConnectionSettings& settings,
                                             TLinkContext& context) {
    bool viaFirewall = settings.FirewallType != TFirewallKind::None;
    std::unique_ptr<TLayer> top =
        std::make_unique<TTcpLayer>(context, viaFirewall, settings.LocalHost);
    return top;
}
