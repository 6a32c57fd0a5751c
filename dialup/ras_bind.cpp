#include "dialup/ras_bind.h"

#include <mutex>

namespace {

using TGetEntryProperties = unsigned (*)(const char*, const char*, RASENTRY*, unsigned*, void*,
                                         unsigned*);

const TRasExports* OpenDefault(const std::string& library) {
    static const TRasExports rasapi32{
        {"RasGetEntryPropertiesA", reinterpret_cast<TRasProc>(&RasGetEntryPropertiesA)},
    };
    return library == "rasapi32.dll" ? &rasapi32 : nullptr;
}

struct TBinding {
    std::mutex mutex;
    TRasLibraryLoader loader;
    const TRasExports* library = nullptr;
    bool loaded = false;
    bool fromRnaph = false;
};

TBinding& Binding() {
    static TBinding binding;
    return binding;
}

TRasProc Lookup(const TRasExports& library, const std::string& name) {
    const auto it = library.find(name);
    return it == library.end() ? nullptr : it->second;
}

}  // namespace

void SetRasLibraryLoader(TRasLibraryLoader loader) {
    TBinding& b = Binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.loader = std::move(loader);
}

TRasProc GetRasProc(const std::string& name) {
    TBinding& b = Binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    const auto open = [&b](const std::string& library) {
        return b.loader ? b.loader(library) : OpenDefault(library);
    };
    const std::string notFound = "Function " + name + " not found!";
    if (b.loaded) {
        if (TRasProc proc = Lookup(*b.library, b.fromRnaph ? name : name + "A")) return proc;
        throw ERasBindError(notFound);
    }
    const TRasExports* rasapi = open("rasapi32.dll");
    if (rasapi == nullptr) throw ERasBindError("Error opening rasapi.dll");
    if (TRasProc proc = Lookup(*rasapi, name + "A")) {
        b.library = rasapi, b.loaded = true;
        return proc;
    }
    const TRasExports* rnaph = open("rnaph.dll");
    if (rnaph == nullptr) throw ERasBindError("Error opening rnaph.dll");
    if (TRasProc proc = Lookup(*rnaph, name)) {
        b.library = rnaph, b.loaded = true, b.fromRnaph = true;
        return proc;
    }
    throw ERasBindError(notFound);
}

void ReleaseRasBinding() {
    TBinding& b = Binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.library = nullptr, b.loaded = false, b.fromRnaph = false;
}

unsigned RasGetEntryProperties(const char* phoneBook, const char* entryName, RASENTRY* entry,
                               unsigned* entrySize, void* deviceInfo, unsigned* deviceInfoSize) {
    const auto proc = reinterpret_cast<TGetEntryProperties>(GetRasProc("RasGetEntryProperties"));
    return proc(phoneBook, entryName, entry, entrySize, deviceInfo, deviceInfoSize);
}
