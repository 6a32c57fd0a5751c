// Client certificate lookup on assigning SSLCertStore and SSLCertSubject: certificate
// folders and PFX files, the order of the search, stores that cannot be opened, and the
// certificate a server then sees. Certificates are made for each test with openssl.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine_events.h"
#include "https/ipshttps.h"
#include "https/tls_client_certificate.h"
#include "proxy_peers.h"

namespace fs = std::filesystem;

namespace {

bool Shell(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// A variable set for the life of the object, then restored.
class TScopedVariable {
  public:
    TScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        had_ = std::getenv(name) != nullptr;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~TScopedVariable() { had_ ? setenv(name_, saved_.c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

// The user's stores in a fresh XDG_CONFIG_HOME.
class TUserStores {
  public:
    TUserStores() : config_("XDG_CONFIG_HOME", home_.Path().c_str()) {}

    std::string Folder(const std::string& store) const {
        return home_.Path() + "/quillbern-dovrant/certstore/" + store + "/";
    }
    // A self-signed certificate as <file>.pem with its key as <file>.key. printable
    // encodes the name the way other tools often do, which the text form hides.
    void Add(const std::string& store, const std::string& file, const std::string& subject,
             bool printable = false) {
        fs::create_directories(Folder(store));
        const std::string config = home_.Path() + "/req.cnf";
        std::ofstream(config) << "[req]\ndistinguished_name=dn\nstring_mask="
                              << (printable ? "default" : "utf8only") << "\n[dn]\n";
        const std::string base = Folder(store) + file;
        ASSERT_TRUE(Shell(
            "openssl req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
            "-nodes -days 30 -config " +
            config + " -subj '" + subject + "' -keyout " + base + ".key -out " + base + ".pem"));
    }

  private:
    TTempFolder home_;
    TScopedVariable config_;
};

// The subject SSLCertSubject reads back after assigning subject, or "none: " + why.
std::string Lookup(TipsHTTPS& http, const std::string& subject) {
    http.SetSSLCertSubject(subject);
    if (!http.SSLCertLookupError().empty()) return "none: " + http.SSLCertLookupError();
    return http.SSLCertSubject();
}

std::string StoreError(TipsHTTPS& http, const std::string& store, const std::string& subject) {
    try {
        http.SetSSLCertStore(store);
        http.SetSSLCertSubject(subject);
    } catch (const EipsHTTPS& e) {
        return e.what();
    }
    return "opened";
}

// openssl s_server that demands a client certificate it can verify against the test
// root, through at most depth issuers, with user stores of the test's own.
struct TVerifyingServer {
    explicit TVerifyingServer(const std::string& depth)
        : Server("trusted",
                 {"-Verify", depth, "-verify_return_error", "-CAfile", Certs + "/ca.pem"}) {}
    std::string URL() const { return "https://localhost:" + std::to_string(Server.Port()) + "/"; }

    TTrustTestRoot Trust;
    TUserStores Stores;
    const std::string Certs = TestCertificates();
    TTlsServer Server;
};

}  // namespace

TEST(ClientStoreTest, SearchTakesTheEncodedNameThenTheExactTextThenAPart) {
    TUserStores stores;
    stores.Add("MY", "a", "/C=US/O=Dovrant Test/CN=Store Alpha Two");
    stores.Add("MY", "b", "/C=US/O=Dovrant Test/CN=Store Alpha");
    stores.Add("MY", "c", "/C=US/O=Dovrant Test/CN=Store Beta Extra");
    stores.Add("MY", "d", "/C=US/O=Dovrant Test/CN=Store Beta", true);
    stores.Add("MY", "e", "/C=US/O=Dovrant Test/CN=Store Gamma");
    TipsHTTPS http;  // the default store is "MY"
    EXPECT_EQ(Lookup(http, "Store Gamma"), "C=US, O=Dovrant Test, CN=Store Gamma");
    http.SetSSLCertStore("My");  // store names are not case-sensitive
    EXPECT_EQ(http.SSLCertSubject(), "C=US, O=Dovrant Test, CN=Store Gamma");

    // Exact name before the earlier certificate that merely contains it.
    EXPECT_EQ(Lookup(http, "C=US, O=Dovrant Test, CN=Store Alpha"),
              "C=US, O=Dovrant Test, CN=Store Alpha");
    // The same name written differently is still the same encoded name.
    EXPECT_EQ(Lookup(http, "C=US,O=Dovrant Test,CN=\"Store Alpha\""),
              "C=US, O=Dovrant Test, CN=Store Alpha");
    // Encoded differently but the same text: found by text before the part match in c.
    EXPECT_EQ(Lookup(http, "C=US, O=Dovrant Test, CN=Store Beta"),
              "C=US, O=Dovrant Test, CN=Store Beta");
    // A part: the first certificate in file order that contains it.
    EXPECT_EQ(Lookup(http, "CN=Store Alpha"), "C=US, O=Dovrant Test, CN=Store Alpha Two");
    // Text comparison is case-sensitive; nothing found is no error.
    EXPECT_EQ(Lookup(http, "c=us, o=dovrant test, cn=store beta"),
              "none: The certificate could not be found.");
    EXPECT_EQ(http.SSLCertSubject(), "c=us, o=dovrant test, cn=store beta");
}

TEST(ClientStoreTest, OnlyCertificatesWithTheirOwnReadableKeyAreCandidates) {
    TUserStores stores;
    stores.Add("MY", "keyless", "/CN=Store Keyless");
    fs::remove(stores.Folder("MY") + "keyless.key");
    stores.Add("MY", "locked", "/CN=Store Locked");
    const std::string locked = stores.Folder("MY") + "locked.key";
    // An encrypted key is skipped without asking anyone for its password.
    ASSERT_TRUE(Shell("openssl pkey -in " + locked + " -aes256 -passout pass:secret -out " +
                      locked + ".new && mv " + locked + ".new " + locked));
    stores.Add("MY", "mixed", "/CN=Store Mixed");
    stores.Add("MY", "other", "/CN=Store Other");
    fs::copy_file(stores.Folder("MY") + "other.key", stores.Folder("MY") + "mixed.key",
                  fs::copy_options::overwrite_existing);
    TipsHTTPS http;
    http.SetSSLCertStore("MY");
    const std::string none = "none: The certificate could not be found.";
    EXPECT_EQ(Lookup(http, "Store Keyless"), none);
    EXPECT_EQ(Lookup(http, "Store Locked"), none);
    EXPECT_EQ(Lookup(http, "Store Mixed"), none);
    EXPECT_EQ(Lookup(http, "Store Other"), "CN=Store Other");
}

TEST(ClientStoreTest, StoresThatCannotBeOpenedRaise271) {
    TUserStores stores;
    const std::string failure = "271: The certificate store could not be opened.";
    const std::string certs = TestCertificates();
    TTempFolder work;
    const std::string locked = work.Path() + "/locked.p12";  // needs a password
    ASSERT_TRUE(Shell("openssl pkcs12 -export -in " + certs + "/client.pem -inkey " + certs +
                      "/client.key -passout pass:secret -out " + locked));
    for (const std::string& store : std::vector<std::string>{
             "NOSUCH", "LOCAL_MACHINE\\NOSUCH-DOVRANT-TEST", "LOCAL_MACHINE\\..", "A/B",
             "PFX\\" + work.Path() + "/missing.p12", "PFX\\" + locked}) {
        TipsHTTPS http;
        EXPECT_EQ(StoreError(http, store, "Dovrant Client"), failure) << store;
        EXPECT_EQ(http.SSLCertStore(), store);  // the value is kept
        EXPECT_EQ(http.SSLCertLookupError(), "The certificate store could not be opened.");
    }
    // No store is opened until both are set: "CA" without a subject presents nothing.
    TipsHTTPS http;
    EXPECT_EQ(StoreError(http, "CA", ""), "opened");
    EXPECT_EQ(StoreError(http, "", "Dovrant Client"), "opened");

    EXPECT_EQ(CertificateStoreFolder("My"), stores.Folder("MY"));
    EXPECT_EQ(CertificateStoreFolder("LOCAL_MACHINE\\Root"),
              "/etc/quillbern-dovrant/certstore/ROOT/");
    TScopedVariable noConfig("XDG_CONFIG_HOME", nullptr);
    TScopedVariable home("HOME", "/home/someone");
    EXPECT_EQ(CertificateStoreFolder("MY"),
              "/home/someone/.config/quillbern-dovrant/certstore/MY/");
}

TEST(ClientStoreTest, TheCertificateFoundIsPresentedLaterEvenWithItsStoreGone) {
    TVerifyingServer peer("1");
    ASSERT_TRUE(peer.Server.Ready());
    const TUserStores& stores = peer.Stores;
    const std::string& certs = peer.Certs;
    const std::string url = peer.URL();
    fs::create_directories(stores.Folder("MY"));
    fs::copy_file(certs + "/client.pem", stores.Folder("MY") + "client.pem");
    fs::copy_file(certs + "/client.key", stores.Folder("MY") + "client.key");

    TipsHTTPS fromFolder;
    fromFolder.SetSSLCertStore("MY");
    fromFolder.SetSSLCertSubject("Dovrant Client");
    EXPECT_EQ(fromFolder.SSLCertSubject(), "C=US, O=Dovrant Test, CN=Dovrant Client");
    fs::remove_all(stores.Folder("MY"));
    fromFolder.SetURL(url);
    EXPECT_EQ(ActionError(fromFolder, httpGet), "");
    EXPECT_EQ(fromFolder.StatusLine().substr(0, 12), "HTTP/1.0 200");

    TipsHTTPS fromPfx;
    fromPfx.SetSSLCertStore("PFX\\" + certs + "/client.p12");
    fromPfx.SetSSLCertSubject("Dovrant Client");
    EXPECT_EQ(fromPfx.SSLCertSubject(), "C=US, O=Dovrant Test, CN=Dovrant Client");
    fromPfx.SetURL(url);
    EXPECT_EQ(ActionError(fromPfx, httpGet), "");

    // Clearing the subject presents none again; so does a subject not found.
    fromPfx.SetSSLCertSubject("");
    EXPECT_NE(ActionError(fromPfx, httpGet), "");
    fromPfx.SetSSLCertSubject("Somebody Else");
    EXPECT_EQ(fromPfx.SSLCertLookupError(), "The certificate could not be found.");
    EXPECT_NE(ActionError(fromPfx, httpGet), "");
    fromPfx.SetSSLCertSubject("");
    fromPfx.SetSSLCertStore("CA");
    EXPECT_EQ(fromPfx.SSLCertLookupError(), "");
}

TEST(ClientStoreTest, TheChainAfterTheCertificateInItsFileIsSentWithIt) {
    TVerifyingServer peer("2");
    ASSERT_TRUE(peer.Server.Ready());
    const TUserStores& stores = peer.Stores;
    const std::string& certs = peer.Certs;
    // The server knows only the root; the intermediate must come from the client.
    TTempFolder work;
    const std::string w = work.Path() + "/";
    const std::string newKey =
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1";
    ASSERT_TRUE(Shell(newKey + " -out " + w + "sub.key && openssl req -new -key " + w +
                      "sub.key -subj '/CN=Dovrant Sub CA' -out " + w +
                      "sub.csr && printf "
                      "'basicConstraints=critical,CA:TRUE\\nkeyUsage=keyCertSign\\n' > " +
                      w + "sub.ext && openssl x509 -req -in " + w + "sub.csr -CA " + certs +
                      "/ca.pem -CAkey " + certs + "/ca.key -CAcreateserial -days 30 -extfile " + w +
                      "sub.ext -out " + w + "sub.pem"));
    fs::create_directories(stores.Folder("MY"));
    const std::string leaf = stores.Folder("MY") + "leaf";
    ASSERT_TRUE(Shell(newKey + " -out " + leaf + ".key && openssl req -new -key " + leaf +
                      ".key -subj '/CN=Dovrant Chained Client' -out " + w +
                      "leaf.csr && "
                      "openssl x509 -req -in " +
                      w + "leaf.csr -CA " + w + "sub.pem -CAkey " + w +
                      "sub.key -CAcreateserial -days 30 -out " + w + "leaf.pem && cat " + w +
                      "leaf.pem " + w + "sub.pem > " + leaf + ".pem"));
    TipsHTTPS http;
    http.SetSSLCertSubject("Dovrant Chained Client");
    EXPECT_EQ(http.SSLCertSubject(), "CN=Dovrant Chained Client");
    http.SetURL(peer.URL());
    EXPECT_EQ(ActionError(http, httpGet), "");
}
