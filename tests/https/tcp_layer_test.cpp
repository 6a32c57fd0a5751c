#include "https/tcp_layer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/base/unique_handle.h"
#include "https/socket_errors.h"
#include "layer_test_support.h"

namespace {

int CodeOf(const std::function<void()>& action, std::string* description = nullptr) {
    try {
        action();
    } catch (const EipsHTTPS& e) {
        if (description) *description = e.Description;
        return e.Code;
    }
    return 0;
}

}  // namespace

TEST(SocketErrors, DescriptionsFollowTheTableOrTheFallback) {
    EXPECT_EQ(DescribeErrorCode(10061), "[10061] Connection refused");
    EXPECT_EQ(DescribeErrorCode(11001), "[11001] Host not found");
    EXPECT_EQ(DescribeErrorCode(10066), "[10066] Directory not empt");
    EXPECT_EQ(DescribeErrorCode(118), "[118] (no description available)");
    EXPECT_LE(DescribeErrorCode(11002).size(), 80u);
    EXPECT_EQ(SocketErrorText(12345), "");
}

TEST(SocketErrors, ErrnoAndLookupResultsMapOntoSystemCodes) {
    EXPECT_EQ(SocketCodeFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketCodeFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketCodeFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketCodeFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(SocketCodeFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(SocketCodeFromErrno(EADDRNOTAVAIL), 10049);
    EXPECT_EQ(SocketCodeFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(SocketCodeFromLookup(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(SocketCodeFromLookup(EAI_FAIL, 0), 11003);
}

TEST(TcpLayer, ExchangesBytesAndSeesTheClose) {
    TScriptPeer peer([](int fd) {
        EXPECT_EQ(ReadExactly(fd, 5), "hello");
        usleep(50000);  // the client waits in pump steps meanwhile
        WriteAll(fd, "world");
    });
    TRecordingLink link;
    TTcpLayer tcp(link.Context, false, "");
    tcp.Connect("127.0.0.1", peer.Port());
    EXPECT_GE(tcp.Socket(), 0);
    EXPECT_EQ(tcp.Host(), "127.0.0.1");
    EXPECT_EQ(tcp.Port(), peer.Port());
    tcp.Send("hello");
    EXPECT_EQ(ReceiveAll(tcp), "world");
    EXPECT_GT(link.PumpSteps, 0);  // the waits pumped
    tcp.Close();
    EXPECT_EQ(tcp.Socket(), -1);
    EXPECT_TRUE(link.Events.empty());
}

TEST(TcpLayer, HostNamesResolveAndLargeSendsWaitForRoom) {
    const std::string big(4 << 20, 'x');
    TScriptPeer peer([&](int fd) {
        usleep(200000);  // let the sender fill the socket buffers first
        EXPECT_EQ(ReadExactly(fd, big.size()).size(), big.size());
        WriteAll(fd, "done");
    });
    TRecordingLink link;
    TTcpLayer tcp(link.Context, false, "");
    tcp.Connect("localhost", peer.Port());
    tcp.Send(big);
    EXPECT_EQ(ReceiveAll(tcp), "done");
}

TEST(TcpLayer, ConnectFailuresCarrySocketCodes) {
    TRecordingLink link;
    TTcpLayer refused(link.Context, false, "");
    const TRefusingPort closed;
    EXPECT_EQ(CodeOf([&] { refused.Connect("127.0.0.1", closed.Port()); }), 10061);
    EXPECT_EQ(refused.Socket(), -1);

    TTcpLayer unknown(link.Context, false, "");
    EXPECT_EQ(CodeOf([&] { unknown.Connect("no-such-host.invalid", 80); }), 11001);

    TTcpLayer badLocal(link.Context, false, "192.0.2.77");  // not an address of this host
    EXPECT_EQ(CodeOf([&] { badLocal.Connect("127.0.0.1", closed.Port()); }), 10049);
}

TEST(TcpLayer, ZeroAddressAndPortHaveTheirDirectAndFirewallTexts) {
    TRecordingLink link;
    std::string text;
    TTcpLayer direct(link.Context, false, "");
    EXPECT_EQ(CodeOf([&] { direct.Connect("0.0.0.0", 80); }, &text), 102);
    EXPECT_EQ(text, "The RemoteHost address is invalid (0.0.0.0).");
    EXPECT_EQ(CodeOf([&] { direct.Connect("127.0.0.1", 0); }, &text), 116);
    EXPECT_EQ(text, "RemotePort can't be zero. Please specify a valid service port number.");

    TTcpLayer firewall(link.Context, true, "");
    EXPECT_EQ(CodeOf([&] { firewall.Connect("0.0.0.0", 1080); }, &text), 102);
    EXPECT_EQ(text, "The FirewallHost address is invalid (0.0.0.0).");
    EXPECT_EQ(CodeOf([&] { firewall.Connect("127.0.0.1", 0); }, &text), 116);
    EXPECT_EQ(text, "The FirewallPort is invalid (0).");
}

TEST(TcpLayer, LocalHostBindingChoosesTheSourceAddress) {
    std::string seen;
    TScriptPeer peer([&](int fd) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        getpeername(fd, reinterpret_cast<sockaddr*>(&from), &length);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        seen = text;
    });
    TRecordingLink link;
    TTcpLayer tcp(link.Context, false, "127.0.0.5");
    tcp.Connect("127.0.0.1", peer.Port());
    EXPECT_EQ(ReceiveAll(tcp), "");
    peer.Join();
    EXPECT_EQ(seen, "127.0.0.5");
}

TEST(TcpLayer, WaitsEndWhenThePumpGivesUpAndResetsAreReported) {
    {
        TManualTime time;
        TScriptPeer silent([](int fd) { ReadExactly(fd, 1); });
        TRecordingLink link(std::chrono::milliseconds(150));
        TTcpLayer tcp(link.Context, false, "");
        tcp.Connect("127.0.0.1", silent.Port());
        char buffer[16];
        EXPECT_EQ(CodeOf([&] { tcp.Receive(buffer, sizeof buffer); }), 301);
        EXPECT_GE(time.ElapsedMs(), 150);
        tcp.Close();
    }

    TScriptPeer resetting([](int fd) {
        linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ReadExactly(fd, 1);
    });
    TRecordingLink link2;
    TTcpLayer tcp2(link2.Context, false, "");
    tcp2.Connect("127.0.0.1", resetting.Port());
    tcp2.Send("x");
    EXPECT_EQ(CodeOf([&] { ReceiveAll(tcp2); }), 10054);
}

TEST(TcpLayer, EveryWaitStepPumpsAlsoWhenBytesAreWaiting) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    TUniqueFd near(pair[0]), far(pair[1]);
    WriteAll(far.Get(), "x");
    TRecordingLink link;
    link.Context.Pump = [] { throw EipsHTTPS(301, ""); };
    EXPECT_EQ(CodeOf([&] { WaitForSocket(near.Get(), POLLIN, link.Context); }), 301);
}

// The peer's pace is the point here, so this one runs on the real clock.
TEST(TcpLayer, APeerTricklingBytesCannotOutlastTheDeadline) {
    TScriptPeer peer([](int fd) { Trickle(fd, std::string(1500, 'x')); });
    TRecordingLink link(std::chrono::milliseconds(200));
    TTcpLayer tcp(link.Context, false, "");
    tcp.Connect("127.0.0.1", peer.Port());
    EXPECT_EQ(CodeOf([&] { ReceiveAll(tcp); }), 301);
    tcp.Close();
}
