#pragma once

// Internal to the transfer library: one libcurl easy handle, driven by a private multi handle on
// the thread that makes the request, so that other threads can wake the waiting request at once
// (Wake) and have it look at its control flags. Nothing but Wake() may be called from another
// thread; pause, resume and stop are carried out by the requesting thread itself.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace transfer::detail {

// Flags a running request looks at between rounds and in its write callback.
struct RequestControl
{
    std::atomic<bool> stop{false}; // end the request now (nothing more is written)
    std::atomic<bool> hold{false}; // hold the receiving side (body requests that honour it)
};

// Where a body request's bytes go. Write must take all the bytes or fail.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    [[nodiscard]] virtual bool Write(const char* data, std::size_t size) = 0;
};

// A file opened for appending raw bytes (created when missing); each Write hands all its bytes to
// the system before it returns, so a stopped transfer never leaves a half-written buffer behind.
class AppendFile final : public ByteSink
{
public:
    explicit AppendFile(const std::string& path);
    ~AppendFile() override;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    AppendFile(AppendFile&&) = delete;
    AppendFile& operator=(AppendFile&&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] bool Write(const char* data, std::size_t size) override;
    void Close();

private:
    int m_fd = -1;
};

enum class RequestEnd
{
    Done,     // the server's answer ended normally
    Failed,   // connection failure, broken transfer, refused answer or failed write
    TimedOut, // the request's time limit ran out (it keeps running while held)
    Stopped,  // RequestControl::stop
};

struct HeadAnswer
{
    RequestEnd end = RequestEnd::Failed;
    long status = 0;
    std::string headers; // raw header text as received (empty without an answer)
};

struct BodyRequest
{
    std::string url;
    long timeLimitSeconds = 0;    // 0: none
    long connectLimitSeconds = 0; // 0: libcurl's default
    std::string referrer;         // empty: none sent
    // Byte range "from-to" (to is the full length, as the program has always asked); none when
    // from is negative. With a range from a non-zero offset the answer must be 206 with a
    // Content-Range starting at `from` (and of total `to` when it names one); from 0 a 200 is fine
    // too. Without a range any status is accepted (the caller examines it).
    std::int64_t from = -1;
    std::int64_t to = 0;
    bool honourHold = false;
};

struct BodyAnswer
{
    RequestEnd end = RequestEnd::Failed;
    bool answered = false; // some response arrived
    long status = 0;
    bool refused = false; // the answer was not the requested bytes; nothing was written
    std::int64_t written = 0;
};

// The process-wide libcurl initialisation with all features (once).
void EnsureCurl();

class CurlSession
{
public:
    CurlSession();
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;
    CurlSession(CurlSession&&) = delete;
    CurlSession& operator=(CurlSession&&) = delete;

    // False when libcurl could not make its handles; every request then fails without an answer.
    bool Valid() const;
    // Any thread, while the session exists: a request waiting for the network looks at its flags now.
    void Wake();

    // Header-only request (HEAD): the raw headers as text.
    HeadAnswer
    Head(const std::string& url, long timeLimitSeconds, const std::string& referrer, const RequestControl& control);
    // GET with the request's options; the accepted body goes to sink.
    BodyAnswer Get(const BodyRequest& request, ByteSink& sink, const RequestControl& control);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace transfer::detail
