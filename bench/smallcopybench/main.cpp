// Copies a tree of small files the way Brindle keeps them safe, by several means, to tell
// which pays before any goes into the engine: each copy is written under a temporary name,
// the file system is flushed once per group of up to 2,000 files (syncfs), and only then
// do the copies take their final names (renameat2, RENAME_NOREPLACE); a last syncfs puts
// the names on the device too.
//
//   brindle-smallcopybench plain|inode|uring|threads SOURCE TARGET
//
// plain:   one thread, plain system calls (openat, statx, read, write, futimens, close).
// inode:   the same, each folder's files visited in inode order.
// uring:   one thread, io_uring: the opens, status reads, reads, writes, closes and renames
//          of up to 64 files go to the kernel in one submission per step.
// threads: plain calls on two threads, one folder per task; each thread flushes its own
//          groups.
// Prints the wall time in seconds. Folders below SOURCE are copied one level deep (the
// bench trees); anything but a regular file is left out.
#include <liburing.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t GroupFiles = 2000;
constexpr unsigned Batch = 64;
constexpr size_t BufferSize = 64 * 1024;

[[noreturn]] void die(const char* what, const std::string& name, int error)
{
    std::fprintf(stderr, "%s %s: %s\n", what, name.c_str(), std::strerror(error));
    std::exit(1);
}

struct Entry
{
    std::string name;
    std::string temporary;
    ino_t inode;
};

struct Folder
{
    std::string name;
    int sourceFd = -1;
    int targetFd = -1;
    std::vector<Entry> files;
};

// A copy under its temporary name, waiting for its group's flush.
struct Pending
{
    int folderFd;
    const Entry* entry;
};

std::vector<Folder> walk(const std::string& source, const std::string& target, bool byInode)
{
    std::vector<Folder> folders;
    if (mkdir(target.c_str(), 0755) != 0)
        die("mkdir", target, errno);
    DIR* top = opendir(source.c_str());
    if (!top)
        die("opendir", source, errno);
    while (dirent* e = readdir(top)) {
        if (e->d_type == DT_DIR && std::strcmp(e->d_name, ".") != 0 &&
            std::strcmp(e->d_name, "..") != 0)
            folders.push_back({e->d_name, -1, -1, {}});
    }
    closedir(top);
    for (Folder& f : folders) {
        const std::string from = source + "/" + f.name;
        const std::string to = target + "/" + f.name;
        f.sourceFd = open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (f.sourceFd < 0)
            die("open", from, errno);
        if (mkdir(to.c_str(), 0755) != 0)
            die("mkdir", to, errno);
        f.targetFd = open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (f.targetFd < 0)
            die("open", to, errno);
        DIR* d = fdopendir(dup(f.sourceFd));
        while (dirent* e = readdir(d)) {
            if (e->d_type == DT_REG)
                f.files.push_back({e->d_name, std::string(".") + e->d_name + ".part", e->d_ino});
        }
        closedir(d);
        if (byInode)
            std::sort(f.files.begin(), f.files.end(),
                      [](const Entry& a, const Entry& b) { return a.inode < b.inode; });
    }
    return folders;
}

void placeGroup(int anyFd, std::vector<Pending>& group)
{
    if (group.empty())
        return;
    if (syncfs(anyFd) != 0)
        die("syncfs", "", errno);
    for (const Pending& p : group) {
        if (renameat2(p.folderFd, p.entry->temporary.c_str(), p.folderFd, p.entry->name.c_str(),
                      RENAME_NOREPLACE) != 0)
            die("rename", p.entry->name, errno);
    }
    group.clear();
}

void setTimes(int fd, const struct statx& s, const std::string& name)
{
    const timespec times[2] = {{s.stx_atime.tv_sec, long(s.stx_atime.tv_nsec)},
                               {s.stx_mtime.tv_sec, long(s.stx_mtime.tv_nsec)}};
    if (futimens(fd, times) != 0)
        die("futimens", name, errno);
}

// Copies the rest of a file that did not fit the first read.
void copyRest(int in, int out, char* buffer, const std::string& name)
{
    for (;;) {
        const ssize_t n = read(in, buffer, BufferSize);
        if (n < 0)
            die("read", name, errno);
        if (n == 0)
            return;
        if (write(out, buffer, size_t(n)) != n)
            die("write", name, errno);
    }
}

void copyPlain(const Folder& f, const Entry& e, char* buffer)
{
    const int in = openat(f.sourceFd, e.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        die("open", e.name, errno);
    struct statx s;
    if (statx(in, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &s) != 0)
        die("statx", e.name, errno);
    const int out =
        openat(f.targetFd, e.temporary.c_str(),
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, s.stx_mode & 07777);
    if (out < 0)
        die("create", e.temporary, errno);
    // One read, as the uring way: a file that fills the buffer is read on to its end.
    const ssize_t n = read(in, buffer, BufferSize);
    if (n < 0)
        die("read", e.name, errno);
    if (write(out, buffer, size_t(n)) != n)
        die("write", e.name, errno);
    if (size_t(n) == BufferSize)
        copyRest(in, out, buffer, e.name);
    setTimes(out, s, e.name);
    close(out);
    close(in);
}

// Copies the files of one folder by plain calls into group, placing each full group.
void copyFolderPlain(const Folder& f, char* buffer, std::vector<Pending>& group)
{
    for (const Entry& e : f.files) {
        copyPlain(f, e, buffer);
        group.push_back({f.targetFd, &e});
        if (group.size() == GroupFiles)
            placeGroup(f.targetFd, group);
    }
}

void runPlain(std::vector<Folder>& folders)
{
    std::vector<char> buffer(BufferSize);
    std::vector<Pending> group;
    for (const Folder& f : folders)
        copyFolderPlain(f, buffer.data(), group);
    placeGroup(folders.front().targetFd, group);
}

void runThreads(std::vector<Folder>& folders)
{
    std::atomic<size_t> next{0};
    auto work = [&] {
        std::vector<char> buffer(BufferSize);
        std::vector<Pending> group;
        for (size_t i; (i = next++) < folders.size();)
            copyFolderPlain(folders[i], buffer.data(), group);
        placeGroup(folders.front().targetFd, group);
    };
    std::thread other(work);
    work();
    other.join();
}

// One file of a uring batch.
struct Slot
{
    int folderSource;
    int folderTarget;
    const Entry* entry;
    int in = -1;
    int out = -1;
    ssize_t read = 0;
    struct statx status;
};

class Ring
{
public:
    Ring()
    {
        const int error = io_uring_queue_init(4 * Batch, &m_ring, 0);
        if (error < 0)
            die("io_uring_queue_init", "", -error);
    }
    ~Ring() { io_uring_queue_exit(&m_ring); }

    io_uring_sqe* sqe(unsigned slot, unsigned step)
    {
        io_uring_sqe* s = io_uring_get_sqe(&m_ring);
        io_uring_sqe_set_data64(s, (uint64_t(slot) << 8) | step);
        ++m_waiting;
        return s;
    }

    // Submits the queued requests and hands each result to done(slot, step, result).
    template <typename Done> void complete(Done done)
    {
        io_uring_submit_and_wait(&m_ring, m_waiting);
        while (m_waiting > 0) {
            io_uring_cqe* c;
            const int error = io_uring_wait_cqe(&m_ring, &c);
            if (error < 0)
                die("io_uring_wait_cqe", "", -error);
            const uint64_t data = io_uring_cqe_get_data64(c);
            done(unsigned(data >> 8), unsigned(data & 0xff), c->res);
            io_uring_cqe_seen(&m_ring, c);
            --m_waiting;
        }
    }

private:
    io_uring m_ring;
    unsigned m_waiting = 0;
};

enum Step : unsigned
{
    OpenIn,
    Status,
    OpenOut,
    Read,
    Write,
    CloseIn,
    CloseOut,
    Rename
};

void check(unsigned step, int result, const Slot& s)
{
    if (result < 0 && step != Read)
        die("uring step", s.entry->name + " " + std::to_string(step), -result);
}

void runUring(std::vector<Folder>& folders)
{
    Ring ring;
    std::vector<Slot> slots;
    std::vector<char> buffers(Batch * BufferSize);
    std::vector<Pending> group;
    std::vector<Slot> all;
    for (const Folder& f : folders)
        for (const Entry& e : f.files)
            all.push_back({f.sourceFd, f.targetFd, &e, -1, -1, 0, {}});

    auto placeRing = [&]() {
        if (group.empty())
            return;
        if (syncfs(group.front().folderFd) != 0)
            die("syncfs", "", errno);
        for (size_t i = 0; i < group.size(); i += Batch) {
            const size_t end = std::min(group.size(), i + Batch);
            for (size_t j = i; j < end; ++j)
                io_uring_prep_renameat(ring.sqe(unsigned(j - i), Rename), group[j].folderFd,
                                       group[j].entry->temporary.c_str(), group[j].folderFd,
                                       group[j].entry->name.c_str(), RENAME_NOREPLACE);
            ring.complete([&](unsigned slot, unsigned, int result) {
                if (result < 0)
                    die("rename", group[i + slot].entry->name, -result);
            });
        }
        group.clear();
    };

    for (size_t first = 0; first < all.size(); first += Batch) {
        const unsigned n = unsigned(std::min<size_t>(Batch, all.size() - first));
        Slot* batch = &all[first];
        // 1: open the source, read its status.
        for (unsigned i = 0; i < n; ++i) {
            Slot& s = batch[i];
            io_uring_prep_openat(ring.sqe(i, OpenIn), s.folderSource, s.entry->name.c_str(),
                                 O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
            io_uring_prep_statx(ring.sqe(i, Status), s.folderSource, s.entry->name.c_str(),
                                AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &s.status);
        }
        ring.complete([&](unsigned i, unsigned step, int result) {
            check(step, result, batch[i]);
            if (step == OpenIn)
                batch[i].in = result;
        });
        // 2: create each copy with its mode, read each source.
        for (unsigned i = 0; i < n; ++i) {
            Slot& s = batch[i];
            io_uring_prep_openat(ring.sqe(i, OpenOut), s.folderTarget, s.entry->temporary.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 s.status.stx_mode & 07777);
            io_uring_prep_read(ring.sqe(i, Read), s.in, &buffers[i * BufferSize], BufferSize, 0);
        }
        ring.complete([&](unsigned i, unsigned step, int result) {
            check(step, result, batch[i]);
            if (step == OpenOut)
                batch[i].out = result;
            else if (result < 0)
                die("read", batch[i].entry->name, -result);
            else
                batch[i].read = result;
        });
        // 3: write each copy, close each source.
        for (unsigned i = 0; i < n; ++i) {
            io_uring_prep_write(ring.sqe(i, Write), batch[i].out, &buffers[i * BufferSize],
                                unsigned(batch[i].read), 0);
            if (size_t(batch[i].read) < BufferSize)
                io_uring_prep_close(ring.sqe(i, CloseIn), batch[i].in);
        }
        ring.complete([&](unsigned i, unsigned step, int result) {
            check(step, result, batch[i]);
            if (step == Write && result != batch[i].read)
                die("short write", batch[i].entry->name, EIO);
        });
        // Dates: io_uring has no request for them.
        for (unsigned i = 0; i < n; ++i) {
            Slot& s = batch[i];
            if (size_t(s.read) == BufferSize) {
                copyRest(s.in, s.out, &buffers[i * BufferSize], s.entry->name);
                close(s.in);
            }
            setTimes(s.out, s.status, s.entry->name);
            // 4: close each copy.
            io_uring_prep_close(ring.sqe(i, CloseOut), s.out);
        }
        ring.complete(
            [&](unsigned i, unsigned step, int result) { check(step, result, batch[i]); });
        for (unsigned i = 0; i < n; ++i) {
            group.push_back({batch[i].folderTarget, batch[i].entry});
            if (group.size() == GroupFiles)
                placeRing();
        }
    }
    placeRing();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s plain|inode|uring|threads SOURCE TARGET\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    umask(0);
    const auto start = std::chrono::steady_clock::now();
    std::vector<Folder> folders = walk(argv[2], argv[3], mode == "inode");
    if (folders.empty())
        die("no folders in", argv[2], ENOENT);
    if (mode == "plain" || mode == "inode")
        runPlain(folders);
    else if (mode == "uring")
        runUring(folders);
    else if (mode == "threads")
        runThreads(folders);
    else
        die("unknown mode", mode, EINVAL);
    // The names on the device too, as Brindle's last flush of a run.
    if (syncfs(folders.front().targetFd) != 0)
        die("syncfs", "", errno);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f\n", seconds);
    return 0;
}
