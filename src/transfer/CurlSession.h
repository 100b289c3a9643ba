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
#include <string_view>

namespace transfer::detail {

// Flags a running request looks at between rounds and in its write callback.
struct RequestControl
{
    std::atomic<bool> stop{false}; // end the request now (nothing more is written)
    std::atomic<bool> hold{false}; // hold the receiving side (body requests that honour it)
    // No request runs past this moment, held or not. Set by the requesting thread between requests.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// Where a body request's bytes go.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // Once, when the answer has been accepted and before its first byte: fromStart when the answer
    // starts at byte 0 (whatever was kept before it goes), headers the answer's header text. False
    // when the bytes cannot be taken; the request then fails.
    [[nodiscard]] virtual bool Begin(bool fromStart, std::string_view headers) = 0;
    // Must take all the bytes or fail.
    [[nodiscard]] virtual bool Write(const char* data, std::size_t size) = 0;
};

// The local file of a resumable fetch and its side file. Nothing is created before Begin: an answer
// that is refused or never comes leaves the disk as it was. Begin opens the file for appending
// (emptied first when the answer starts at byte 0) and writes the side file with the Last-Modified
// text of the copy the bytes come from: the answer's own when it names one, else the header
// request's (lastModified). An answer that resumes the file but names another copy is refused.
// Each Write hands all its bytes to the system before it returns, so a stopped transfer never
// leaves a half-written buffer behind. received, when given, counts the bytes on disk (counted
// before they are written).
class ResumableFile final : public ByteSink
{
public:
    ResumableFile(std::string path,
                  std::string sidePath,
                  std::string lastModified,
                  std::atomic<double>* received = nullptr);
    ~ResumableFile() override;
    ResumableFile(const ResumableFile&) = delete;
    ResumableFile& operator=(const ResumableFile&) = delete;
    ResumableFile(ResumableFile&&) = delete;
    ResumableFile& operator=(ResumableFile&&) = delete;

    [[nodiscard]] bool Begin(bool fromStart, std::string_view headers) override;
    [[nodiscard]] bool Write(const char* data, std::size_t size) override;
    void Close();
    // Begin could not open the file or write the side file.
    bool OpenFailed() const { return m_openFailed; }

private:
    const std::string m_path;
    const std::string m_sidePath;
    const std::string m_lastModified;
    std::atomic<double>* m_received;
    int m_fd = -1;
    bool m_openFailed = false;
};

enum class RequestEnd
{
    Done,     // the server's answer ended normally
    Failed,   // connection failure, broken transfer, refused answer or failed write
    TimedOut, // the request's time limit (running time only) or the control's deadline passed
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
    long timeLimitSeconds = 0;    // 0: none; with honourHold the time held does not count
    long connectLimitSeconds = 0; // 0: libcurl's default
    std::string referrer;         // empty: none sent
    // Byte range "from-to" (to is the full length, as the program has always asked); none when
    // from is negative. The answer must be a 206 with a Content-Range starting at `from` (and of
    // total `to` when it names one), or a 200: the whole file, which starts over from byte 0 (its
    // length must then be `to` when it names one). No more than `to` bytes in all are taken.
    // Without a range any status is accepted (the caller examines it).
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
