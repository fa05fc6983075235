// A test of transfers against the in-process server: a session, a cancel token, a
// recorder of the progress, and a fresh folder.
#pragma once

// The server first: winsock2.h must come before windows.h.
#include "HttpTestServer.h"

#include <gtest/gtest.h>

#include "CancelToken.h"
#include "ProgressRecorder.h"
#include "QuickRetry.h"
#include "ServerAccess.h"
#include "TestFiles.h"
#include "TransferEnv.h"

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, session); }
    void TearDown() override { InternetCloseHandle(session); }

    // What a core gets: this session, token and recorder, and `retry`.
    TransferEnv Env(const RetrySettings& retry = QuickRetry()) { return TransferEnv{session, cancel, progress, retry}; }

    HttpTestServer server;
    HINTERNET session = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
    CancelToken cancel;
    ProgressRecorder progress;
    TempDir temp;
};
