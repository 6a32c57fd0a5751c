#include "https/tls_client_certificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "common/base/text.h"
#include "https/ipserror.h"
#include "https/tls_verify.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPfxPrefix[] = "PFX\\";
constexpr char kMachinePrefix[] = "LOCAL_MACHINE\\";
constexpr char kMachineStores[] = "/etc/quillbern-dovrant/certstore/";
constexpr char kUserStores[] = "quillbern-dovrant/certstore/";

using TCandidates = std::vector<std::shared_ptr<const TClientCertificate>>;

[[noreturn]] void StoreUnavailable() {
    ERR_clear_error();
    throw EipsHTTPS(271, "The certificate store could not be opened.");
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Keys are read without a password; never fall back to asking on the terminal.
int NoPassword(char*, int, int, void*) { return 0; }

void AddCandidate(TCandidates& candidates, TX509 certificate, TPrivateKey key, TX509List chain) {
    if (certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1)
        candidates.push_back(std::make_shared<TClientCertificate>(
            std::move(certificate), std::move(key), std::move(chain)));
}

TCandidates OpenPfx(const std::string& path) {
    TPkcs12 pfx;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        pfx.reset(d2i_PKCS12_fp(file, nullptr));
        std::fclose(file);
    }
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    bool opened = pfx && (PKCS12_parse(pfx.get(), "", &key, &certificate, &chain) ||
                          PKCS12_parse(pfx.get(), nullptr, &key, &certificate, &chain));
    TX509 ownedCertificate(certificate);
    TPrivateKey ownedKey(key);
    TX509List ownedChain(chain);
    if (!opened) StoreUnavailable();
    TCandidates candidates;
    AddCandidate(candidates, std::move(ownedCertificate), std::move(ownedKey),
                 std::move(ownedChain));
    return candidates;
}

// "<file>.pem": the certificate and the chain after it; "<file>.key": its key.
void ReadStoreEntry(const fs::path& pem, TCandidates& candidates) {
    TBio certificates(BIO_new_file(pem.c_str(), "r"));
    fs::path keyFile = pem;
    TBio keyText(BIO_new_file(keyFile.replace_extension(".key").c_str(), "r"));
    TX509 certificate(certificates
                          ? PEM_read_bio_X509(certificates.get(), nullptr, NoPassword, nullptr)
                          : nullptr);
    TPrivateKey key(keyText ? PEM_read_bio_PrivateKey(keyText.get(), nullptr, NoPassword, nullptr)
                            : nullptr);
    TX509List chain(sk_X509_new_null());
    while (certificate && chain) {
        TX509 next(PEM_read_bio_X509(certificates.get(), nullptr, NoPassword, nullptr));
        if (!next) break;
        if (sk_X509_push(chain.get(), next.get())) next.release();
    }
    AddCandidate(candidates, std::move(certificate), std::move(key), std::move(chain));
}

TCandidates OpenFolder(const std::string& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) StoreUnavailable();
    fs::directory_iterator entries(folder, error);
    if (error) StoreUnavailable();
    std::vector<fs::path> pems;
    for (const auto& entry : entries)
        if (entry.path().extension() == ".pem" && entry.is_regular_file(error))
            pems.push_back(entry.path());
    std::sort(pems.begin(), pems.end());  // the same search order on every run
    TCandidates candidates;
    for (const auto& pem : pems) ReadStoreEntry(pem, candidates);
    return candidates;
}

TCandidates OpenStore(const std::string& store) {
    TCandidates candidates = StartsWith(store, kPfxPrefix)
                                 ? OpenPfx(store.substr(sizeof kPfxPrefix - 1))
                                 : OpenFolder(CertificateStoreFolder(store));
    ERR_clear_error();
    return candidates;
}

// The object an attribute label of a subject text names: the labels the TLS layer
// writes, "OID." + dotted number, or OpenSSL's own short and long names.
ASN1_OBJECT* LabelObject(std::string label) {
    static const std::map<std::string, int> kLabels = {
        {"CN", NID_commonName},
        {"O", NID_organizationName},
        {"OU", NID_organizationalUnitName},
        {"C", NID_countryName},
        {"L", NID_localityName},
        {"S", NID_stateOrProvinceName},
        {"ST", NID_stateOrProvinceName},
        {"STREET", NID_streetAddress},
        {"E", NID_pkcs9_emailAddress},
        {"T", NID_title},
        {"G", NID_givenName},
        {"I", NID_initials},
        {"SN", NID_surname},
        {"DC", NID_domainComponent},
    };
    const std::string upper = UpperCase(label);
    if (auto known = kLabels.find(upper); known != kLabels.end()) return OBJ_nid2obj(known->second);
    if (StartsWith(upper, "OID.")) return OBJ_txt2obj(label.c_str() + 4, 1);
    return OBJ_txt2obj(label.c_str(), 0);
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The DER form of a subject text ("CN=x, O=\"a, b\""); empty when it is no name.
std::string EncodedName(const std::string& text) {
    TX509Name owner(X509_NAME_new());
    X509_NAME* name = owner.get();
    bool sound = name != nullptr;
    size_t at = 0;
    while (sound && at < text.size()) {
        size_t equals = text.find('=', at);
        if (equals == std::string::npos) {
            sound = false;
            break;
        }
        std::string label = Trimmed(text.substr(at, equals - at));
        at = text.find_first_not_of(' ', equals + 1);
        std::string value;
        if (at != std::string::npos && text[at] == '"') {  // "" inside stands for "
            for (++at; at < text.size(); ++at) {
                if (text[at] != '"')
                    value += text[at];
                else if (at + 1 < text.size() && text[at + 1] == '"')
                    value += text[++at];
                else
                    break;
            }
            sound = at < text.size();
            at = text.find_first_of(",;", at);
        } else {
            size_t end = at == std::string::npos ? at : text.find_first_of(",;", at);
            value = at == std::string::npos ? "" : Trimmed(text.substr(at, end - at));
            at = end;
        }
        at = at == std::string::npos ? text.size() : at + 1;
        ASN1_OBJECT* object = sound && !label.empty() ? LabelObject(label) : nullptr;
        sound = object &&
                X509_NAME_add_entry_by_OBJ(name, object, MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(value.data()),
                                           static_cast<int>(value.size()), -1, 0) == 1;
        ASN1_OBJECT_free(object);
    }
    std::string der;
    unsigned char* bytes = nullptr;
    int length = sound ? i2d_X509_NAME(name, &bytes) : -1;
    if (length > 0) der.assign(reinterpret_cast<char*>(bytes), static_cast<size_t>(length));
    OPENSSL_free(bytes);
    ERR_clear_error();
    return der;
}

std::string EncodedSubject(X509* certificate) {
    const unsigned char* bytes = nullptr;
    size_t length = 0;
    X509_NAME_get0_der(X509_get_subject_name(certificate), &bytes, &length);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), length) : std::string();
}

std::shared_ptr<const TClientCertificate> Search(const TCandidates& candidates,
                                                 const std::string& subject) {
    const std::string encoded = EncodedName(subject);
    for (const auto& candidate : candidates)
        if (!encoded.empty() && EncodedSubject(candidate->Certificate()) == encoded)
            return candidate;
    for (const auto& candidate : candidates)
        if (candidate->Subject() == subject) return candidate;
    for (const auto& candidate : candidates)
        if (candidate->Subject().find(subject) != std::string::npos) return candidate;
    return nullptr;
}

// Certificates found by a component, by store and full subject, while it holds them:
// credentials acquired later present that certificate without opening the store again.
class THeldCertificates {
  public:
    void Hold(const std::string& store, const std::shared_ptr<const TClientCertificate>& found) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(held_, [](const auto& entry) { return entry.second.expired(); });
        held_[{store, found->Subject()}] = found;
    }
    std::shared_ptr<const TClientCertificate> Find(const std::string& store,
                                                   const std::string& subject) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto entry = held_.find({store, subject});
        return entry == held_.end() ? nullptr : entry->second.lock();
    }

  private:
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::weak_ptr<const TClientCertificate>> held_;
};

THeldCertificates& Held() {
    static THeldCertificates held;
    return held;
}

}  // namespace

TClientCertificate::TClientCertificate(TX509 certificate, TPrivateKey key, TX509List chain)
    : certificate_(std::move(certificate)),
      key_(std::move(key)),
      chain_(std::move(chain)),
      subject_(X500NameText(X509_get_subject_name(certificate_.get()))) {}

void TClientCertificate::Present(SSL_CTX* credentials) const {
    SSL_CTX_use_certificate(credentials, certificate_.get());
    SSL_CTX_use_PrivateKey(credentials, key_.get());
    for (int i = 0; chain_ && i < sk_X509_num(chain_.get()); ++i)
        SSL_CTX_add1_chain_cert(credentials, sk_X509_value(chain_.get(), i));
    ERR_clear_error();
}

std::string CertificateStoreFolder(const std::string& store) {
    const bool machine = StartsWith(store, kMachinePrefix);
    const std::string name = UpperCase(machine ? store.substr(sizeof kMachinePrefix - 1) : store);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        StoreUnavailable();
    if (machine) return kMachineStores + name + "/";
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        config = std::string(home) + "/.config";
    } else {
        StoreUnavailable();
    }
    return config + "/" + kUserStores + name + "/";
}

std::shared_ptr<const TClientCertificate> FindClientCertificate(const std::string& store,
                                                                const std::string& subject) {
    auto found = Search(OpenStore(store), subject);
    if (found) Held().Hold(store, found);
    return found;
}

bool UseClientCertificate(SSL_CTX* credentials, const std::string& store,
                          const std::string& subject) {
    auto certificate = Held().Find(store, subject);
    if (!certificate) certificate = FindClientCertificate(store, subject);
    if (certificate) certificate->Present(credentials);
    return certificate != nullptr;
}
