// Second runs against the servers people really have: Debian's nginx and Apache 2.4 on
// loopback, each serving a sample site. Started by run-real-server-tests.sh, which passes
// their addresses and access logs in the environment; the jobs run with the program's
// own waits, so that any wait shows.
#include <windows.h>
#include <wininet.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CancelToken.h"
#include "CatalogFetch.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"
#include "ProgressRecorder.h"
#include "ServerAccess.h"
#include "TestFiles.h"
#include "TransferEnv.h"

namespace {

std::string Environment(const char* name)
{
    char value[1024] = "";
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    if (length == 0 || length >= sizeof(value))
        ADD_FAILURE() << name << " is not set: run this program through run-real-server-tests.sh";
    return length < sizeof(value) ? value : "";
}

struct RealServer {
    const char* name;
    std::string origin;
    // Its access log: URI, status, body bytes, seconds on each line.
    std::string log;
};

class RealServers : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        ASSERT_NE(nullptr, session);
    }
    void TearDown() override { InternetCloseHandle(session); }

    TransferEnv Env() { return TransferEnv{session, cancel, progress, RetrySettings()}; }

    HRESULT FetchCatalog(const RealServer& server, UpdateCatalog* catalog)
    {
        return FetchAndParseCatalog(Env(), (server.origin + "/ulvooffline/update/latest.xml").c_str(), catalog);
    }

    // The body bytes the server's log counts so far, the catalogue's left out (each run
    // fetches it whole).
    static long long Served(const RealServer& server)
    {
        // The log line follows the body's last byte.
        Sleep(300);
        std::ifstream log(server.log);
        long long bytes = 0;
        std::string uri;
        std::string status;
        std::string sent;
        std::string seconds;
        while (log >> uri >> status >> sent >> seconds) {
            if (uri.size() < 11 || uri.compare(uri.size() - 11, 11, "/latest.xml") != 0)
                bytes += sent == "-" ? 0 : std::stoll(sent);
        }
        return bytes;
    }

    HINTERNET session = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
    CancelToken cancel;
    ProgressRecorder progress;
    TempDir temp;
    std::vector<RealServer> servers = {
        {"nginx", Environment("ZEB_NGINX_ORIGIN"), Environment("ZEB_NGINX_LOG")},
        {"apache", Environment("ZEB_APACHE_ORIGIN"), Environment("ZEB_APACHE_LOG")},
    };
};

}  // namespace

// Each job runs twice into the same folder: the second run sends at most 1% of what the
// first did, and neither waits for the link.
TEST_F(RealServers, ARerunOverACompleteOfflineUpdateOrKitSendsAlmostNothingAndNeverWaits)
{
    for (const RealServer& server : servers) {
        for (bool kit : {false, true}) {
            SCOPED_TRACE(std::string(server.name) + (kit ? ", kit" : ", offline update"));
            UpdateCatalog catalog;
            ASSERT_EQ(S_OK, FetchCatalog(server, &catalog));
            const std::string folder = temp / (std::string(server.name) + (kit ? "-kit" : "-offline"));
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
            auto run = [&] {
                return kit ? RunKit(Env(), catalog, folder.c_str(), 65)
                           : RunOfflineUpdate(Env(), catalog, folder.c_str());
            };
            const long long before = Served(server);
            ASSERT_EQ(S_OK, run());
            const long long first = Served(server) - before;
            ASSERT_EQ(S_OK, run());
            const long long second = Served(server) - before - first;
            printf("%s, %s: first run %lld body bytes, second run %lld\n", server.name,
                   kit ? "kit" : "offline update", first, second);
            EXPECT_GT(first, 1 << 20);
            EXPECT_LE(second * 100, first);
            EXPECT_TRUE(progress.Waits().empty());
        }
    }
}
