// A name lookup that is slow on purpose: linked into a test executable, this getaddrinfo takes the
// place of the C library's for the whole process (libcurl's resolver thread included). Names under
// "slow-lookup.test" sleep SlowLookupSeconds and then resolve to 127.0.0.1; every other name goes
// to the real lookup.

#include "SlowLookup.h"

#include <chrono>
#include <string_view>
#include <thread>

#include <dlfcn.h>
#include <netdb.h>

namespace {

using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);

Lookup RealLookup()
{
    static const auto real = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real;
}

bool IsSlow(const char* node)
{
    const std::string_view name = node ? node : "";
    const std::string_view suffix = testing_support::SlowLookupDomain;
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

} // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result)
{
    if (IsSlow(node)) {
        std::this_thread::sleep_for(std::chrono::seconds(testing_support::SlowLookupSeconds));
        node = "127.0.0.1";
    }
    return RealLookup()(node, service, hints, result);
}
