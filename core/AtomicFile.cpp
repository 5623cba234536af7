#include "core/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kr {

namespace {

std::atomic<WriteResult> pendingFault{WriteResult::Ok};

std::atomic<int> diskOps{0};
std::atomic<int> diskFaultAt{0};
std::atomic<DiskOp> diskFaultHit{DiskOp::None};

// Counts one low-level step; true (with errno set as a full disk sets it)
// when it is the step the armed fault fails.
bool diskOpFails(DiskOp op)
{
    const int step = diskOps.fetch_add(1) + 1;
    const int armedAt = diskFaultAt.load();
    if (armedAt <= 0 || step != armedAt)
        return false;
    diskFaultHit.store(op);
    errno = ENOSPC;
    return true;
}

// How writing the temporary file went; NameTaken asks for another name.
enum class TempResult { Ok, NameTaken, CreateFailed, WriteFailed };

WriteResult takeFault()
{
    return pendingFault.exchange(WriteResult::Ok);
}

// Writes through a symbolic link land on the file it names, so the link
// survives the rename.
std::string resolveTarget(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path p(path);
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec)))
        return path;
    const auto resolved = std::filesystem::weakly_canonical(p, ec);
    return ec ? path : resolved.string();
}

std::string tempNameFor(const std::string& target, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path p(target);
#if defined(_WIN32)
    const unsigned long pid = static_cast<unsigned long>(GetCurrentProcessId());
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    // Keep the temporary name within the file system's name length.
    const std::string base = p.filename().string().substr(0, 200);
    const std::string leaf = "." + base + ".tmp" + std::to_string(pid) + "-" + std::to_string(counter.fetch_add(1)) +
                             "-" + std::to_string(attempt);
    return (p.parent_path() / leaf).string();
}

#if defined(_WIN32)

TempResult writeTemp(const std::string& temp, std::string_view bytes, WriteResult fault)
{
    if (fault == WriteResult::CreateFailed)
        return TempResult::CreateFailed;
    const int fd = diskOpFails(DiskOp::Create)
                       ? -1
                       : _open(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno == EEXIST ? TempResult::NameTaken : TempResult::CreateFailed;
    bool ok = fault != WriteResult::WriteFailed;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const int n = diskOpFails(DiskOp::Write) ? -1 : _write(fd, bytes.data() + done, chunk);
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ok && !diskOpFails(DiskOp::Sync) && _commit(fd) == 0;
    const bool closeFault = diskOpFails(DiskOp::Close);
    ok = _close(fd) == 0 && !closeFault && ok;
    return ok ? TempResult::Ok : TempResult::WriteFailed;
}

bool replaceTarget(const std::string& temp, const std::string& target)
{
    return !diskOpFails(DiskOp::Rename) &&
           MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else

// A new file gets the usual permissions (0666 less the umask, applied by open).
TempResult writeTemp(const std::string& temp, const std::string& target, std::string_view bytes,
                     WriteResult fault)
{
    if (fault == WriteResult::CreateFailed)
        return TempResult::CreateFailed;
    const int fd = diskOpFails(DiskOp::Create) ? -1 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? TempResult::NameTaken : TempResult::CreateFailed;
    // Replacing a file keeps its owner (when we may set it) and permissions.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (::geteuid() == 0)
            (void)::fchown(fd, st.st_uid, st.st_gid);
        (void)::fchmod(fd, st.st_mode & 07777);
    }

    bool ok = fault != WriteResult::WriteFailed;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = diskOpFails(DiskOp::Write) ? -1 : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ok && !diskOpFails(DiskOp::Sync) && ::fsync(fd) == 0;
    const bool closeFault = diskOpFails(DiskOp::Close);
    ok = ::close(fd) == 0 && !closeFault && ok;
    return ok ? TempResult::Ok : TempResult::WriteFailed;
}

bool replaceTarget(const std::string& temp, const std::string& target)
{
    if (diskOpFails(DiskOp::Rename) || ::rename(temp.c_str(), target.c_str()) != 0)
        return false;
    // Make the rename itself durable; a folder that cannot be synced is not an error.
    const std::string folder = std::filesystem::path(target).parent_path().string();
    const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        if (!diskOpFails(DiskOp::FolderSync))
            (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

#endif

} // namespace

void failNextAtomicWrite(WriteResult step) { pendingFault.store(step); }

void armDiskFault(int n)
{
    diskFaultAt.store(0);
    diskOps.store(0);
    diskFaultHit.store(DiskOp::None);
    diskFaultAt.store(n);
}

int diskOpsSinceArmed() { return diskOps.load(); }

DiskOp failedDiskOp() { return diskFaultHit.load(); }

bool renameFile(const std::string& from, const std::string& to)
{
    if (diskOpFails(DiskOp::Rename))
        return false;
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to), ec);
    return !ec;
}

bool makeFolders(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::path(path).lexically_normal();
    if (fs::is_directory(folder, ec))
        return true;
    // The missing folders are made one at a time from the top, so each is one step.
    fs::path made;
    for (const fs::path& part : folder) {
        if (part.empty())
            continue;
        made /= part;
        if (fs::is_directory(made, ec))
            continue;
        if (diskOpFails(DiskOp::MakeFolder) || (!fs::create_directory(made, ec) && !fs::is_directory(made, ec)))
            return false;
    }
    return fs::is_directory(folder, ec);
}

const char* cannotCreateReason(WriteResult result)
{
    return result == WriteResult::NotAFile ? ": it is not a regular file." : "";
}

bool isNonRegularFile(const std::string& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path), ec);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

bool sameFile(const std::string& a, const std::string& b)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(fs::path(a), fs::path(b), ec))
        return true;
    // Not both there: compare where a new file would land.
    std::error_code ea;
    std::error_code eb;
    const fs::path pa = fs::weakly_canonical(fs::absolute(fs::path(a), ea), ea);
    const fs::path pb = fs::weakly_canonical(fs::absolute(fs::path(b), eb), eb);
    return !ea && !eb && pa == pb;
}

WriteResult writeFileAtomically(const std::string& path, std::string_view bytes)
{
    const WriteResult fault = takeFault();
    const std::string target = resolveTarget(path);
    // A rename would put a file in place of a device or a FIFO, and the
    // system would lose it.
    if (isNonRegularFile(target))
        return WriteResult::NotAFile;

    // A leftover file of the same name (another process) just means another try.
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = tempNameFor(target, attempt);
#if defined(_WIN32)
        const TempResult written = writeTemp(temp, bytes, fault);
#else
        const TempResult written = writeTemp(temp, target, bytes, fault);
#endif
        if (written == TempResult::NameTaken)
            continue;
        if (written == TempResult::CreateFailed)
            return WriteResult::CreateFailed;
        WriteResult r = WriteResult::WriteFailed;
        if (written == TempResult::Ok)
            r = fault != WriteResult::RenameFailed && replaceTarget(temp, target) ? WriteResult::Ok
                                                                                : WriteResult::RenameFailed;
        if (r != WriteResult::Ok)
            std::remove(temp.c_str());
        return r;
    }
    return WriteResult::CreateFailed;
}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    return readWholeFile(path, bytes, static_cast<std::size_t>(-1));
}

bool readWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes)
{
    return readRegularFile(path, bytes, maxBytes) == ReadResult::Ok;
}

} // namespace kr
