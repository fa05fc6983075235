#include "HttpTestServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

bool SendAll(SOCKET socket, const char* data, size_t size)
{
    while (size > 0) {
        int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
        int sent = send(socket, data, chunk, 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// Blocking calls are not woken by closing the socket from another thread under Wine,
// so every wait polls the stop flag.
bool WaitReadable(SOCKET socket, const std::atomic<bool>& stopping)
{
    while (!stopping) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket, &set);
        timeval timeout = {0, 50 * 1000};
        int ready = select(0, &set, nullptr, nullptr, &timeout);
        if (ready != 0)
            return ready > 0;
    }
    return false;
}

struct WinsockStartup {
    WinsockStartup()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

// Yields the body in order from memory or from a file, from `Skip`'s offset on.
class BodySource {
public:
    explicit BodySource(const HttpResponse& response) : response_(response)
    {
        if (!response.bodyFile.empty()) {
            file_ = fopen(response.bodyFile.c_str(), "rb");
            if (file_) {
                _fseeki64(file_, 0, SEEK_END);
                size_ = static_cast<unsigned long long>(_ftelli64(file_));
                _fseeki64(file_, 0, SEEK_SET);
            }
        } else {
            size_ = response.body.size();
        }
    }
    ~BodySource()
    {
        if (file_)
            fclose(file_);
    }
    unsigned long long Size() const { return size_; }
    void Skip(unsigned long long offset)
    {
        offset_ = offset;
        if (file_)
            _fseeki64(file_, static_cast<long long>(offset), SEEK_SET);
    }
    // Up to `want` next bytes; empty at the end.
    std::string Next(size_t want)
    {
        std::string piece;
        if (file_) {
            piece.resize(want);
            size_t got = fread(&piece[0], 1, want, file_);
            piece.resize(got);
        } else {
            piece = response_.body.substr(static_cast<size_t>(offset_), want);
        }
        offset_ += piece.size();
        return piece;
    }

private:
    const HttpResponse& response_;
    FILE* file_ = nullptr;
    unsigned long long size_ = 0;
    unsigned long long offset_ = 0;
};

}  // namespace

std::string HttpRequestRecord::Header(const std::string& name) const
{
    for (const auto& header : headers) {
        if (Lower(header.first) == Lower(name))
            return header.second;
    }
    return std::string();
}

bool HttpRequestRecord::HasHeader(const std::string& name) const
{
    for (const auto& header : headers) {
        if (Lower(header.first) == Lower(name))
            return true;
    }
    return false;
}

HttpResponse HttpResponse::Ok(std::string body, std::string contentType)
{
    HttpResponse response;
    response.body = std::move(body);
    if (!contentType.empty())
        response.headers.emplace_back("Content-Type", contentType);
    return response;
}

HttpResponse HttpResponse::AtRate(std::string body, size_t bytesPerSecond, std::string contentType)
{
    HttpResponse response = Ok(std::move(body), std::move(contentType));
    // Pieces of a sixty-fourth of a second: the rate holds within a few percent.
    response.pieceSize = bytesPerSecond / 64 ? bytesPerSecond / 64 : 1;
    response.pieceDelayMs = 1000 / 64;
    return response;
}

HttpResponse HttpResponse::WithStatus(std::string status)
{
    HttpResponse response;
    response.status = std::move(status);
    response.body = response.status;
    return response;
}

namespace {

// Apache 2.4's page for a 416, byte for byte.
std::string Apache416Page()
{
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://www.w3.org/TR/html4/strict.dtd\">\n"
           "<html><head>\n<title>416 Requested Range Not Satisfiable</title>\n</head><body>\n"
           "<h1>Requested Range Not Satisfiable</h1>\n<p>None of the range-specifier values in the Range\n"
           "request-header field overlap the current extent\nof the selected resource.</p>\n</body></html>\n";
}

}  // namespace

HttpResponse HttpResponse::Redirect(int code, const std::string& location)
{
    HttpResponse response;
    response.status = std::to_string(code) + " Redirect";
    response.headers.emplace_back("Location", location);
    return response;
}

HttpTestServer::HttpTestServer()
{
    static WinsockStartup startup;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener_, SOMAXCONN) != 0)
        throw std::runtime_error("test server cannot listen");
    int length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer()
{
    stopping_ = true;
    acceptThread_.join();
    closesocket(listener_);
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (SOCKET client : clients_)
            shutdown(client, SD_BOTH);
        threads.swap(connectionThreads_);
    }
    for (auto& thread : threads)
        thread.join();
}

std::string HttpTestServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::Serve(const std::string& path, HttpResponse response)
{
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(response);
}

std::vector<HttpRequestRecord> HttpTestServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t HttpTestServer::RequestCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

void HttpTestServer::AcceptLoop()
{
    while (WaitReadable(listener_, stopping_)) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            break;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            closesocket(client);
            break;
        }
        // A client that leaves an answer unread may keep its connection open without
        // reading (Wine does), and a send blocked on it would hold the server's end.
        DWORD sendTimeoutMs = 3000;
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs),
                   sizeof(sendTimeoutMs));
        clients_.push_back(client);
        connectionThreads_.emplace_back([this, client] { ServeConnection(client); });
    }
}

void HttpTestServer::ServeConnection(SOCKET client)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        size_t headEnd;
        while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
            if (!WaitReadable(client, stopping_))
                goto Done;
            int got = recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0)
                goto Done;
            pending.append(buffer, static_cast<size_t>(got));
        }
        std::string head = pending.substr(0, headEnd);
        pending.erase(0, headEnd + 4);

        HttpRequestRecord record;
        size_t lineEnd = head.find("\r\n");
        std::string requestLine = head.substr(0, lineEnd);
        size_t firstSpace = requestLine.find(' ');
        size_t secondSpace = requestLine.find(' ', firstSpace + 1);
        record.method = requestLine.substr(0, firstSpace);
        record.path = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (at < head.size()) {
            size_t end = head.find("\r\n", at);
            if (end == std::string::npos)
                end = head.size();
            std::string line = head.substr(at, end - at);
            size_t colon = line.find(':');
            if (colon != std::string::npos) {
                size_t valueStart = line.find_first_not_of(' ', colon + 1);
                record.headers.emplace_back(line.substr(0, colon),
                                            valueStart == std::string::npos ? "" : line.substr(valueStart));
            }
            at = end + 2;
        }

        HttpResponse response;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(record);
            std::string route = record.path.substr(0, record.path.find('?'));
            auto found = routes_.find(route);
            response = found != routes_.end() ? found->second : HttpResponse::WithStatus("404 Not Found");
            int answer = answers_[route]++;
            if (response.faultyAnswers >= 0 && answer >= response.faultyAnswers)
                response.closeAfterBytes = response.stallAfterBytes = -1;
            if (answer > 0 && !response.laterBody.empty()) {
                response.body = response.laterBody;
                response.etag = response.laterEtag;
            }
            if (!response.nodes.empty()) {
                const auto& node = response.nodes[static_cast<size_t>(answer) % response.nodes.size()];
                response.etag = node.first;
                response.lastModified = node.second;
            }
            if (answer >= response.silentFrom && answer < response.silentFrom + response.silentCount)
                break;
        }
        if (!SendResponse(client, response, record))
            break;
    }
Done:
    closesocket(client);
}

bool HttpTestServer::SendResponse(SOCKET client, const HttpResponse& response, const HttpRequestRecord& request)
{
    BodySource body(response);
    std::string status = response.status;
    std::string head;
    unsigned long long length = body.Size();
    // A single open range "bytes=N-", honoured when the validator still matches.
    std::string range = request.Header("Range");
    std::string ifRange = request.Header("If-Range");
    bool versioned = !response.etag.empty() || !response.lastModified.empty();
    bool unsatisfiable = false;
    if (versioned && !response.ignoreRanges && range.compare(0, 6, "bytes=") == 0 &&
        range.find(',') == std::string::npos &&
        (!request.HasHeader("If-Range") || response.ignoreIfRange || ifRange == response.etag ||
         ifRange == response.lastModified)) {
        unsigned long long from = std::stoull(range.substr(6));
        size_t dash = range.find('-');
        unsigned long long to = dash + 1 < range.size() ? std::stoull(range.substr(dash + 1)) + 1 : length;
        if (from >= length) {
            status = "416 Range Not Satisfiable";
            unsatisfiable = true;
            if (response.pastTheEnd == HttpResponse::PastTheEnd::kContentRange)
                head += "Content-Range: bytes */" + std::to_string(length) + "\r\n";
            length = 0;
        } else {
            status = "206 Partial Content";
            to = std::min<unsigned long long>(to, length);
            head += "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(to - 1) + "/" +
                    std::to_string(length) + "\r\n";
            body.Skip(from);
            length = to - from;
        }
    }
    const bool bare = unsatisfiable && response.pastTheEnd != HttpResponse::PastTheEnd::kContentRange;
    if (!response.etag.empty() && !bare)
        head += "ETag: " + response.etag + "\r\n";
    if (!response.lastModified.empty() && !bare)
        head += "Last-Modified: " + response.lastModified + "\r\n";
    if (versioned && !response.ignoreRanges && !bare)
        head += "Accept-Ranges: bytes\r\n";
    for (const auto& header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (response.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (!response.contentLengthText.empty())
        head += "Content-Length: " + response.contentLengthText + "\r\n";
    else if (response.sendContentLength)
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    head = "HTTP/1.1 " + status + "\r\n" + head + "\r\n";
    if (unsatisfiable && response.pastTheEnd == HttpResponse::PastTheEnd::kApachePage) {
        std::string page = Apache416Page();
        head = "HTTP/1.1 " + status + "\r\nTransfer-Encoding: chunked\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n";
        char size[32];
        snprintf(size, sizeof(size), "%zx\r\n", page.size());
        head += size + page + "\r\n0\r\n\r\n";
        return SendAll(client, head.data(), head.size());
    }
    if (!SendAll(client, head.data(), head.size()))
        return false;
    if (unsatisfiable)
        return true;

    unsigned long long sent = 0;
    size_t pieceSize = response.pieceSize ? response.pieceSize : (1 << 20);
    for (;;) {
        size_t want = static_cast<size_t>(std::min<unsigned long long>(pieceSize, length - sent));
        for (long long limit : {response.closeAfterBytes, response.stallAfterBytes}) {
            if (limit >= 0)
                want = static_cast<size_t>(
                    std::min<unsigned long long>(want, static_cast<unsigned long long>(limit) - sent));
        }
        std::string piece = want ? body.Next(want) : std::string();
        if (piece.empty())
            break;
        size_t rawSize = piece.size();
        if (response.chunked) {
            char size[32];
            snprintf(size, sizeof(size), "%zx\r\n", piece.size());
            piece = size + piece + "\r\n";
        }
        if (!SendAll(client, piece.data(), piece.size()))
            return false;
        sent += rawSize;
        bodyBytesSent_ += static_cast<long long>(rawSize);
        if (response.pieceDelayMs > 0)
            Sleep(static_cast<DWORD>(response.pieceDelayMs));
    }
    if (response.stallAfterBytes >= 0 && sent == static_cast<unsigned long long>(response.stallAfterBytes)) {
        ++stalled_;
        while (!stopping_)
            Sleep(20);
        return false;
    }
    if (response.closeAfterBytes >= 0) {
        shutdown(client, SD_SEND);
        return false;
    }
    if (response.chunked)
        return SendAll(client, "0\r\n\r\n", 5);
    return true;
}
