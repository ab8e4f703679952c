#pragma once

// The live side of the tool lock: a lock that the operating system or the server
// frees by itself when the process holding it ends, however it ends. Whoever
// holds the lock row holds this lock too, so a lock row whose live lock is free
// was left by a run that died.
//
// SQLite: flock on a file beside the warehouse (its resolved path + "-varnel.lock").
// SQL Server: an application lock owned by the warehouse connection's session.
//
// Holders take the lock shared, so that a holder who took the row over after
// the operator's Yes holds it beside the old holder; the test for a live holder
// asks for it exclusively. Both are tried once, never waited for, and both are
// meant to run inside the transaction that reads the lock row, which keeps two
// processes from testing and taking at once.

#include <memory>
#include <string>

#include "warehouse/odbc.h"

namespace varnel {

class LiveLock {
  public:
    enum class Outcome {
        //! This process holds the lock now.
        Held,
        //! Another live process holds it.
        HeldElsewhere,
        //! The lock cannot be made here; the reason says why.
        Unavailable,
    };

    virtual ~LiveLock() = default;

    //! The live lock of the warehouse that the connection reaches. Every call is
    //! given that connection again: on SQL Server the lock lives in its session.
    static std::unique_ptr<LiveLock> For(const Connection& connection);

    //! Takes the lock beside any other holder; held already, it is taken again on a
    //! connection whose session lacks it (SQL Server: a new or reopened connection).
    //! Anything but Held leaves the reason.
    virtual Outcome Hold(Connection& connection, std::string& reason) = 0;
    //! Takes the lock only when no process holds it, this one included.
    virtual Outcome HoldIfNobodyElse(Connection& connection, std::string& reason) = 0;
    //! Frees the lock; nothing happens when this process does not hold it. Never throws.
    virtual void Release(Connection* connection) = 0;
    virtual bool IsHeld() const = 0;
    //! Names the warehouse this lock belongs to; equal for equal warehouses.
    virtual const std::string& Target() const = 0;
};

//! The file whose flock is the live lock of a SQLite warehouse file.
std::string LiveLockFilePath(const std::string& warehousePath);

//! A live lock held as a flock on the file at `path`.
std::unique_ptr<LiveLock> NewFileLiveLock(std::string path);
//! A live lock held as an application lock of the connection's session; `target`
//! names the server and database.
std::unique_ptr<LiveLock> NewSessionLiveLock(std::string target);

}  // namespace varnel
