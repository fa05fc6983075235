// An HTTP/1.1 server inside the test process on 127.0.0.1 and an ephemeral port,
// answering each path as the test scripted it and recording every request.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct HttpRequestRecord {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;

    // Case-insensitive lookup; empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct HttpResponse {
    std::string status = "200 OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // When set, the body is streamed from this file instead of `body`.
    std::string bodyFile;
    // Content-Length with the body's full length, or this text instead when set.
    bool sendContentLength = true;
    std::string contentLengthText;
    bool chunked = false;
    // Close the connection after this many body bytes (a body cut short).
    long long closeAfterBytes = -1;
    // Send the body in pieces of this size, with a pause between them.
    size_t pieceSize = 0;
    int pieceDelayMs = 0;
    // Stop sending after this many body bytes, and keep the connection open and silent
    // until the server stops (a server that stalls).
    long long stallAfterBytes = -1;
    // The cut and the stall above happen only in the first this many answers to the
    // path; -1: in every answer.
    int faultyAnswers = -1;
    // Validators. With either, a GET with "Range: bytes=N-" gets 206 (or 416 past the
    // end), unless If-Range names another validator or ranges are ignored; without
    // both, Range is ignored too, as by a server that cannot tell versions apart.
    std::string etag;
    std::string lastModified;
    bool ignoreRanges = false;
    // Ranges honoured whatever If-Range names, as by an intermediary that drops it.
    bool ignoreIfRange = false;
    // How a range past the end is answered, as the servers of notes/servers.md answer it:
    // 416 with Content-Range and validators (nginx, caddy, varnish), bare (no
    // Content-Range, no validators: lighttpd, Traffic Server), or Apache 2.4's: chunked,
    // a text/html page, no Content-Range, no validators.
    enum class PastTheEnd { kContentRange, kBare, kApachePage };
    PastTheEnd pastTheEnd = PastTheEnd::kContentRange;
    // The nodes of a farm that serve the same bytes under validators of their own (an
    // ETag, a date), as copies made without keeping times do: answer n comes from node
    // n % nodes.size(), and each judges If-Range by its own validators.
    std::vector<std::pair<std::string, std::string>> nodes;
    // Answers with these numbers (0 is the first to the path) close the connection
    // without a word, as a restarting server or a resetting middlebox does.
    int silentFrom = -1;
    int silentCount = 0;
    // From the second answer to the path on, this body and ETag instead: the resource
    // changed on the server.
    std::string laterBody;
    std::string laterEtag;

    static HttpResponse Ok(std::string body, std::string contentType = "");
    // The body sent at about `bytesPerSecond`, as over a slow link.
    static HttpResponse AtRate(std::string body, size_t bytesPerSecond, std::string contentType = "");
    static HttpResponse WithStatus(std::string status);
    static HttpResponse Redirect(int code, const std::string& location);
};

class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    unsigned short Port() const { return port_; }
    std::string Url(const std::string& path) const;

    // Answers every later GET of `path` (without the query) with `response`.
    // Paths without a script get 404.
    void Serve(const std::string& path, HttpResponse response);

    std::vector<HttpRequestRecord> Requests() const;
    size_t RequestCount() const;
    // How many answers have reached their stall point.
    int StalledCount() const { return stalled_.load(); }
    // Body bytes handed to the sockets so far.
    long long BodyBytesSent() const { return bodyBytesSent_.load(); }

private:
    void AcceptLoop();
    void ServeConnection(SOCKET client);
    bool SendResponse(SOCKET client, const HttpResponse& response, const HttpRequestRecord& request);

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> stalled_{0};
    std::atomic<long long> bodyBytesSent_{0};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::map<std::string, HttpResponse> routes_;
    std::map<std::string, int> answers_;
    std::vector<HttpRequestRecord> requests_;
    std::vector<SOCKET> clients_;
    std::vector<std::thread> connectionThreads_;
};
