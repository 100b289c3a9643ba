#pragma once

// HTTP conventions shared by the package downloads and the day's catalogue update: the server's
// base address, package and picture locations, header parsing, and the two fetches the update
// uses (a whole body with a time limit; a resumable file with its side file). Every function here
// may be called from any thread; none keeps state between calls.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace transfer {

class AbortSignal;
class TransferEnv;

// The catalogue server's base address, ending in "/": the environment variable MARLUNE_SERVER when
// it is set and not empty, else the build setting MARLUNE_SERVER_BASE. A missing final "/" is added.
[[nodiscard]] std::string ServerBase();
// The referrer sent with the update list and picture requests (build setting MARLUNE_REFERRER).
[[nodiscard]] std::string Referrer();

// Every space of the URL as "%20".
[[nodiscard]] std::string EscapeSpaces(std::string_view url);
// "<base>download/<id div 1000>/<id>.zip"; game 12345 lies in folder 12.
[[nodiscard]] std::string PackageUrl(std::string_view base, int gameId);
// "<programDir>download/<id>.zip"; programDir ends in "/".
[[nodiscard]] std::string PackagePath(std::string_view programDir, int gameId);
// "<programDir>game/<id>": the folder a package is unpacked into.
[[nodiscard]] std::string GameFolder(std::string_view programDir, int gameId);
// A catalogue picture path ("ico\123.gif") with its fourth character made "/" ("ico/123.gif"); the
// same relative path names the server file below "file/" and the local file below the program dir.
[[nodiscard]] std::string PictureRelativePath(std::string_view cataloguePath);
// "<base>file/<relative path>".
[[nodiscard]] std::string PictureUrl(std::string_view base, std::string_view cataloguePath);
// The resume side file of a local file: its name up to and including the last "." and "txt"
// ("ico/123.gif" -> "ico/123.txt"; a name without "." gets ".txt" appended).
[[nodiscard]] std::string SideFilePath(std::string_view path);

// The first "Content-Length:" (exact case) of raw header text, up to the next line feed, spaces
// removed, read as a decimal number. Nullopt when the header is missing, holds no digits, or the
// number does not fit 2^53 (more than any disk and more than the byte counters can hold exactly).
[[nodiscard]] std::optional<std::int64_t> ContentLength(std::string_view headers);
// The text after the first "Last-Modified:" up to the next line feed, all spaces removed (a
// carriage return stays); empty when missing. This is the text kept in side files.
[[nodiscard]] std::string LastModifiedText(std::string_view headers);
// "##" + text + "##": the content of a side file.
[[nodiscard]] std::string SideFileContent(std::string_view lastModified);
// The text between the first "##" and the next "##" of a side file; nullopt without both.
[[nodiscard]] std::optional<std::string> SideFileText(std::string_view content);
// The Last-Modified text kept in the side file at path; nullopt when the file cannot be read or
// holds no such text.
[[nodiscard]] std::optional<std::string> ReadSideText(const std::string& path);
// Replaces the side file at path with SideFileContent(lastModified); false when it cannot be written.
bool WriteSideText(const std::string& path, std::string_view lastModified);
// Size of a file, 0 when it does not exist or cannot be measured.
[[nodiscard]] std::int64_t FileSizeOrZero(const std::string& path);
// Removes a file if it is there; errors are ignored.
void RemoveQuietly(const std::string& path);

// The program's UTF-8 test: a byte below 0x80 stands alone; 0xC0..0xDF needs one byte 0x80..0xBF
// after it, 0xE0..0xEF two; 0x80..0xBF in lead position or 0xF0 and above fail; a sequence cut off
// by the end of the text passes.
[[nodiscard]] bool LooksLikeUtf8(std::string_view bytes);

// How long the day's update list may take as a whole, and to connect. The list is a few kilobytes
// and start-up waits for it, so a server that is down or stalls costs start-up at most this.
constexpr std::chrono::seconds ListTimeLimit{20};
constexpr std::chrono::seconds ListConnectLimit{5};

// The answer to a body request.
struct FetchedBody
{
    bool answered = false; // a response (of any status) arrived
    long status = 0;       // HTTP status, 0 without an answer
    std::string body;      // the bytes received (nothing is kept beyond maxBytes)
};

// One GET of url (spaces escaped here) with the referrer, limited to timeLimit in all and
// connectLimit to connect, keeping at most maxBytes of body (a longer body fails the request:
// answered stays true but the status is reported as 0). Redirects are not followed. An aborted
// signal ends the request at once (or never starts it), and its body counts as not received.
[[nodiscard]] FetchedBody FetchBody(std::string_view url,
                                    std::chrono::seconds timeLimit = ListTimeLimit,
                                    std::chrono::seconds connectLimit = ListConnectLimit,
                                    std::size_t maxBytes = 64u << 20,
                                    AbortSignal* abort = nullptr);

// The update list's bytes: the body of FetchBody when the status is 200 and the body is not empty,
// else empty.
[[nodiscard]] std::string FetchListBytes(std::string_view url, AbortSignal* abort = nullptr);

// How a file fetch ended.
enum class FileFetch
{
    Refused,         // the local path is absolute or leaves the base folder: nothing was requested
    NoAnswer,        // the header request got no answer (no network, timeout)
    NoLength,        // the header answer was not 200 or had no length of at least 1
    AlreadyComplete, // the local file already had the full length: only the header request was made
    Complete,        // the file now has the full length (its side file is removed)
    Incomplete,      // the transfer ended short, or the answer was not the file's bytes; the partial
                     // file and its side file stay for the next time
    CannotWrite,     // the local file could not be opened for appending
    TooLarge,        // longer than FetchLimits::maxBytes or than the free space: nothing was written
};

// What may stop a file fetch before its own time limits, or keep it from starting.
struct FetchLimits
{
    // Aborting it ends the fetch's requests at once; what was written stays as a partial file with
    // its side file.
    AbortSignal* abort = nullptr;
    // No request runs past this moment; a fetch cut short stays partial with its side file.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    // A file longer than this (0: no bound), or than the free space, is not fetched (TooLarge).
    std::int64_t maxBytes = 0;
    // Where the free space is measured; none: the machine (SystemTransferEnv).
    std::shared_ptr<const TransferEnv> env;
};

// Fetches url (spaces escaped) into baseFolder/relativePath, resuming a partial file when its side
// file holds the server's Last-Modified text: a header request (5 s limit, referrer), then a body
// request for the missing range with the limit (missing bytes) div 5120 + 1 seconds. A partial file
// whose side file is missing or differs, or which is longer than the server's file, is fetched
// again from the start. An answer that cannot be the requested bytes (an error status, a redirect,
// a range starting elsewhere) writes nothing; a 200 with the whole file starts over from byte 0.
// The file and its side file are made only once an answer is accepted; the side file stays while
// the file is partial. A path that is its own side file ("*.txt") is refused. The file's folder
// must exist (the caller makes ico/ and pic/).
[[nodiscard]] FileFetch FetchFile(std::string_view url,
                                  std::string_view relativePath,
                                  std::string_view baseFolder,
                                  const FetchLimits& limits = {});

} // namespace transfer
