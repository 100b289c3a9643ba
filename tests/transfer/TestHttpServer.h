#pragma once

// A small HTTP/1.0-style server on a loopback socket for the failure cases nginx will not play:
// it can stay silent, hang up without an answer or in the middle of a body, stall, trickle, leave
// out or lie about Content-Length, ignore a byte range, or change a file's Last-Modified. Every
// answer closes the connection. Requests are recorded.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct HttpRequest
{
    std::string method; // "HEAD", "GET"
    std::string path;   // as sent, e.g. "/download/1/1340.zip"
    std::string range;  // the Range header's value without "bytes=", empty when none
    std::string referrer;
};

struct HttpReply
{
    enum class Kind
    {
        Normal,              // status, headers and (for GET) the body
        HangUpWithoutAnswer, // close the connection at once
        Silent,              // never answer; hold the connection until the server stops
        DropMidBody,         // headers and `cut` bytes of the body, then close
        StallMidBody,        // headers and `cut` bytes of the body, then hold until the server stops
    };
    Kind kind = Kind::Normal;
    int status = 200;
    std::vector<std::string> headers; // "Name: value" lines
    std::string body;                 // not sent for HEAD
    std::size_t cut = 0;
    // Send the body in pieces of this many bytes with a pause after each (0: all at once).
    std::size_t pieceBytes = 0;
    int pieceDelayMs = 0;
};

// A file the server serves, and the ways it may misbehave about it.
struct ServedFile
{
    std::string content;
    std::string lastModified = "Mon, 06 Dec 2010 10:00:00 GMT";
    bool ignoreRange = false;                  // answer every GET with 200 and the whole file
    bool omitLength = false;                   // no Content-Length header
    std::optional<std::int64_t> claimedLength; // Content-Length of HEAD answers
    std::optional<std::int64_t> rangeStartLie; // Content-Range of 206 answers claims this start
    HttpReply::Kind getKind = HttpReply::Kind::Normal;
    std::size_t cut = 0;
    std::size_t pieceBytes = 0;
    int pieceDelayMs = 0;
};

// The answer a well-behaved static server gives for the file, bent as `file` says.
HttpReply ServeFile(const HttpRequest& request, const ServedFile& file);

class TestHttpServer
{
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit TestHttpServer(Handler handler);
    ~TestHttpServer(); // ends every held connection and joins
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // "http://127.0.0.1:PORT/"
    std::string BaseUrl() const;
    void SetHandler(Handler handler);
    std::vector<HttpRequest> Requests() const;
    std::vector<HttpRequest> Requests(const std::string& method) const;

private:
    void AcceptLoop();
    void Serve(int fd);
    bool HoldUntilStopped(int fd);

    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    Handler m_handler;
    std::vector<HttpRequest> m_requests;
    std::set<int> m_open;
    std::vector<std::thread> m_connections;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_acceptor;
};

} // namespace testing_support
