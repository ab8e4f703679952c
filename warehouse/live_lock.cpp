#include "warehouse/live_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "warehouse/sql_dialect.h"

namespace varnel {

namespace {

// flock on a file beside the warehouse. The lock belongs to the open file, so it
// ends with the process, and a second open of the same file in this process
// competes as another process would.
class FileLiveLock final : public LiveLock {
  public:
    explicit FileLiveLock(std::string path) : path_(std::move(path)) {}
    ~FileLiveLock() override { Close(); }

    Outcome Hold(Connection&, std::string& reason) override {
        if (fd_ >= 0) return Outcome::Held;
        return Take(LOCK_SH, reason);
    }

    Outcome HoldIfNobodyElse(Connection&, std::string& reason) override {
        if (fd_ >= 0) {
            reason = "this process holds " + path_;
            return Outcome::HeldElsewhere;
        }
        const Outcome outcome = Take(LOCK_EX, reason);
        // Nobody else holds it: from here on hold it as every holder does. The
        // change is not atomic, but the lock row's transaction keeps any other
        // process from testing in between.
        if (outcome == Outcome::Held && flock(fd_, LOCK_SH | LOCK_NB) != 0) {
            reason = Describe("cannot hold");
            Close();
            return Outcome::Unavailable;
        }
        return outcome;
    }

    void Release(Connection*) override { Close(); }
    bool IsHeld() const override { return fd_ >= 0; }
    const std::string& Target() const override { return path_; }

  private:
    void Close() {
        if (fd_ < 0) return;
        close(fd_);  // closing the file ends its lock
        fd_ = -1;
    }

    Outcome Take(int mode, std::string& reason) {
        // Every user who runs the tool on this warehouse must be able to open the
        // file; a lock needs no write access, so a file made by another user is
        // opened for reading.
        int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EACCES) fd = open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            reason = Describe("cannot open");
            return Outcome::Unavailable;
        }
        if (flock(fd, mode | LOCK_NB) == 0) {
            fd_ = fd;
            return Outcome::Held;
        }
        const int error = errno;
        close(fd);
        errno = error;
        if (error == EWOULDBLOCK) {
            reason = path_ + " is locked by another process";
            return Outcome::HeldElsewhere;
        }
        reason = Describe("cannot lock");
        return Outcome::Unavailable;
    }

    std::string Describe(const std::string& what) const {
        return what + " " + path_ + ": " + std::strerror(errno);
    }

    std::string path_;
    int fd_ = -1;
};

// An application lock owned by the connection's session: the server frees it
// when the session ends. A connection opened again, or a new one, is another
// session without the lock, so every call asks the session it is given.
class SessionLiveLock final : public LiveLock {
  public:
    explicit SessionLiveLock(std::string target) : target_(std::move(target)) {}

    Outcome Hold(Connection& connection, std::string& reason) override {
        try {
            if (SessionHolds(connection)) return Outcome::Held;
            connection.Execute(
                "EXEC sp_getapplock @Resource = 'varnel_lock', @LockMode = 'Shared', "
                "@LockOwner = 'Session', @LockTimeout = 0");
            held_ = SessionHolds(connection);
            if (held_) return Outcome::Held;
            reason = "the application lock varnel_lock is held by another session";
            return Outcome::HeldElsewhere;
        } catch (const std::exception& error) {
            reason = error.what();
            return Outcome::Unavailable;
        }
    }

    Outcome HoldIfNobodyElse(Connection& connection, std::string& reason) override {
        try {
            if (SessionHolds(connection)) {
                reason = "this session holds the application lock varnel_lock";
                return Outcome::HeldElsewhere;
            }
            // Only another session's lock counts against the test.
            auto test = connection.Query(
                "SELECT APPLOCK_TEST('public', 'varnel_lock', 'Exclusive', 'Session')");
            if (!test.Next() || test.GetInt(0).value_or(0) != 1) {
                reason = "the application lock varnel_lock is held by another session";
                return Outcome::HeldElsewhere;
            }
        } catch (const std::exception& error) {
            reason = error.what();
            return Outcome::Unavailable;
        }
        return Hold(connection, reason);
    }

    void Release(Connection* connection) override {
        if (!held_) return;
        held_ = false;
        try {
            if (connection && connection->IsOpen())
                connection->Execute(
                    "EXEC sp_releaseapplock @Resource = 'varnel_lock', @LockOwner = 'Session'");
        } catch (const std::exception&) {
            // The session that held the lock has ended, and its lock with it.
        }
    }

    bool IsHeld() const override { return held_; }
    const std::string& Target() const override { return target_; }

  private:
    // Whether the session of this connection holds the lock; remembers the answer.
    bool SessionHolds(Connection& connection) {
        auto mode = connection.Query("SELECT APPLOCK_MODE('public', 'varnel_lock', 'Session')");
        held_ = mode.Next() && mode.Get(0).value_or("NoLock") != "NoLock";
        return held_;
    }

    std::string target_;
    bool held_ = false;
};

}  // namespace

std::string LiveLockFilePath(const std::string& warehousePath) {
    // One file per warehouse, however its path was written: through a link or a
    // relative path, a live holder would otherwise look dead to a run that named
    // the file another way.
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(warehousePath, error);
    return (error ? warehousePath : resolved.string()) + "-varnel.lock";
}

std::unique_ptr<LiveLock> NewFileLiveLock(std::string path) {
    return std::make_unique<FileLiveLock>(std::move(path));
}

std::unique_ptr<LiveLock> NewSessionLiveLock(std::string target) {
    return std::make_unique<SessionLiveLock>(std::move(target));
}

std::unique_ptr<LiveLock> LiveLock::For(const Connection& connection) {
    return connection.Dialect().NewLiveLock(connection);
}

}  // namespace varnel
