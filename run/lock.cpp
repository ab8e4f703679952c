#include "run/lock.h"

#include <algorithm>

#include "base/current_user.h"
#include "base/text.h"
#include "run/process_state.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"
#include "warehouse/live_lock.h"
#include "warehouse/metadata_statements.h"
#include "warehouse/sql_dialect.h"
#include "warehouse/tool_tables.h"

namespace varnel {

namespace {

// The steps an engine error is reported under, on the line before the engine's message.
constexpr const char* kReadingTheLock = "Reading the lock in dwm_multiuse";
constexpr const char* kTakingTheLock = "Taking the lock in dwm_multiuse";
constexpr const char* kReleasingTheLock = "Releasing the lock in dwm_multiuse";

void AppendLockFailure(ProcessState& state, const char* step, const std::exception& error) {
    state.MessageText += DescribeStepError(error, step) + "\r\n";
}

template <typename Body>
bool AtLockStep(ProcessState& state, const char* step, Body&& body) {
    try {
        body();
        return true;
    } catch (const std::exception& error) {
        AppendLockFailure(state, step, error);
        return false;
    }
}

Connection& Warehouse(ProcessState& state) {
    if (!state.WarehouseConnection)
        throw std::runtime_error("Connection to the data warehouse not available.");
    return *state.WarehouseConnection;
}

struct LockRow {
    bool Lock = false;
    std::string UserName;
};

// The row is read by position: 0 is the lock, 1 the user.
std::optional<LockRow> ReadRow(Connection& connection, const std::string& query) {
    auto result = connection.Query(query);
    if (!result.Next()) return std::nullopt;
    return LockRow{result.GetBool(0), result.Get(1).value_or("")};
}

// A table that cannot be read or counted is a failure, never "no lock row".
bool HasLockRow(Connection& connection) {
    return TableExists(connection, "dwm_multiuse") && CountRows(connection, "dwm_multiuse") > 0;
}

enum class Attempt {
    Taken,
    //! Another live process holds it, or nobody can tell.
    HeldByOther,
    //! Another user's lock whose run ended without releasing it; the window's operator
    //! is asked all the same.
    LeftByOther,
};

// In the window the operator decides about another user's lock; an unattended run
// takes over a lock whose holder has ended without asking anyone.
bool OperatorDecides(const ProcessState& state) {
    return !state.CommandLineMode && state.MainWindow != nullptr;
}

std::string TakenOverNote(const std::string& user) {
    return "The lock left by user " + TrimBlanks(user) +
           ", whose run ended without releasing it, was taken over.";
}

// The live lock that goes with the lock row while this process holds the row:
// a row that says lock 1 while nobody holds it was left by a run that died.
LiveLock& LiveLockOf(ProcessState& state, const Connection& connection) {
    auto& live = state.HeldLiveLock;
    auto fresh = LiveLock::For(connection);
    if (!live || live->Target() != fresh->Target()) {
        if (live) live->Release(nullptr);  // another warehouse's lock
        live = std::move(fresh);
    }
    return *live;
}

void ReleaseLiveLock(ProcessState& state, Connection* connection) {
    if (state.HeldLiveLock) state.HeldLiveLock->Release(connection);
}

void Note(ProcessState& state, const std::string& line) {
    auto& notes = state.LockNotes;
    if (std::find(notes.begin(), notes.end(), line) == notes.end()) notes.push_back(line);
}

void NoteUnrecognisable(ProcessState& state, const std::string& reason) {
    Note(state, "A lock left by a run that ended without releasing it cannot be recognised here: " +
                    reason);
}

// Holds the live lock before the row says lock 1, so that whoever reads that 1
// finds it held. Where it cannot be held the row lock goes on alone, as it always
// could.
void HoldLiveLock(ProcessState& state, Connection& connection) {
    std::string reason;
    if (LiveLockOf(state, connection).Hold(connection, reason) != LiveLock::Outcome::Held)
        NoteUnrecognisable(state, reason);
}

// Commits the attempt; a lock whose commit failed was never taken.
void CommitTaken(ProcessState& state, Connection& connection, Transaction& transaction) {
    try {
        transaction.Commit();
    } catch (...) {
        state.LockHeld = false;
        ReleaseLiveLock(state, &connection);
        throw;
    }
}

// One attempt inside one transaction, so that the test of the row and its
// write-back cannot be split by another process. A failure throws.
Attempt TryLock(ProcessState& state, Connection& connection, std::string& holder) {
    // A live holder is recognised without the write transaction: another run's long
    // transaction (a table being marked or deleted) would otherwise keep this one
    // waiting for the database and end it with "database is locked" instead of
    // naming the holder. Whatever else the row says is settled inside the
    // transaction below.
    if (HasLockRow(connection)) {
        const auto row = ReadRow(connection, sql::SelectLockRow());
        if (row && row->Lock) {
            std::string reason;
            LiveLock& live = LiveLockOf(state, connection);
            switch (live.HoldIfNobodyElse(connection, reason)) {
                case LiveLock::Outcome::HeldElsewhere:
                    holder = row->UserName;
                    return Attempt::HeldByOther;
                case LiveLock::Outcome::Held:
                    live.Release(&connection);
                    break;
                case LiveLock::Outcome::Unavailable:
                    break;
            }
        }
    }
    Transaction transaction(connection);
    if (!TableExists(connection, "dwm_multiuse")) {
        HoldLiveLock(state, connection);
        CreateLockTable(connection, state.LockHeld);
        CommitTaken(state, connection, transaction);
        return Attempt::Taken;
    }
    std::int64_t rows = 0;
    {
        auto count = connection.Query(connection.Dialect().CountLockRowsForUpdate());
        if (!count.Next()) throw std::runtime_error("The lock rows could not be counted.");
        rows = count.GetInt(0).value_or(0);
    }
    if (rows < 1) {
        HoldLiveLock(state, connection);
        InsertLockRow(connection, true, state.LockHeld);
        CommitTaken(state, connection, transaction);
        return Attempt::Taken;
    }
    const auto row = ReadRow(connection, connection.Dialect().SelectLockRowForUpdate());
    if (row && row->Lock) {
        // Held, or left by a run that died: only the live lock tells them apart.
        std::string reason;
        LiveLock& live = LiveLockOf(state, connection);
        switch (live.HoldIfNobodyElse(connection, reason)) {
            case LiveLock::Outcome::Held:
                if (OperatorDecides(state) && row->UserName != CurrentUserName()) {
                    live.Release(&connection);
                    holder = row->UserName;
                    return Attempt::LeftByOther;
                }
                connection.Execute(sql::TakeLockRow(CurrentUserName()));
                state.LockHeld = true;
                CommitTaken(state, connection, transaction);
                Note(state, TakenOverNote(row->UserName));
                return Attempt::Taken;
            case LiveLock::Outcome::Unavailable:
                NoteUnrecognisable(state, reason);
                break;
            case LiveLock::Outcome::HeldElsewhere:
                break;
        }
        holder = row->UserName;
        return Attempt::HeldByOther;  // the transaction ends before anyone is asked
    }
    HoldLiveLock(state, connection);
    connection.Execute(sql::TakeLockRow(CurrentUserName()));
    state.LockHeld = true;
    CommitTaken(state, connection, transaction);
    return Attempt::Taken;
}

}  // namespace

bool ReadLastLockUser(ProcessState& state) {
    return AtLockStep(state, kReadingTheLock, [&state] {
        Connection& connection = Warehouse(state);
        state.LastLockUser.clear();
        if (HasLockRow(connection)) {
            auto result = connection.Query(sql::SelectLockUser());
            if (result.Next()) state.LastLockUser = result.Get(0).value_or("");
        }
    });
}

bool LockTool(ProcessState& state, bool& wasLocked) {
    wasLocked = false;
    state.LockNotes.clear();
    try {
        Connection& connection = Warehouse(state);
        std::string holder;
        const Attempt attempt = TryLock(state, connection, holder);
        if (attempt == Attempt::Taken) return true;
        wasLocked = true;
        state.LockHolder = TrimBlanks(holder);
        // NOTE: the question is never asked inside a transaction: an open question
        // would block every writer of the warehouse until it is answered.
        const bool takeOver =
            state.CurrentPrompter().AskYesNo("The machine is currently locked by user " +
                                                 state.LockHolder + ". Do you wish to continue?",
                                             "Lock Profile");
        if (!takeOver) return true;
        Transaction transaction(connection);
        connection.Execute(sql::DropLockTable());
        // The old holder lives and keeps its live lock; this one holds it beside.
        HoldLiveLock(state, connection);
        CreateLockTable(connection, state.LockHeld);
        CommitTaken(state, connection, transaction);
        if (attempt == Attempt::LeftByOther) Note(state, TakenOverNote(holder));
        wasLocked = false;
        return true;
    } catch (const std::exception& error) {
        if (!state.LockHeld) ReleaseLiveLock(state, state.WarehouseConnection.get());
        AppendLockFailure(state, kTakingTheLock, error);
        return false;
    }
}

bool UnlockTool(ProcessState& state) {
    try {
        Connection& connection = Warehouse(state);
        if (HasLockRow(connection)) {
            Transaction transaction(connection);
            const auto row = ReadRow(connection, connection.Dialect().SelectLockRowForUpdate());
            if (row && row->Lock && row->UserName == CurrentUserName()) {
                connection.Execute(sql::FreeLockRow());
                transaction.Commit();
                state.LockHeld = false;
            }
        }
        // Only after the row says 0: a live lock freed first would let another
        // process read 1 with no holder and take over from a run that is ending.
        ReleaseLiveLock(state, &connection);
        return true;
    } catch (const std::exception& error) {
        // A row left at 1 is then recognised as left behind.
        ReleaseLiveLock(state, state.WarehouseConnection.get());
        AppendLockFailure(state, kReleasingTheLock, error);
        return false;
    }
}

bool ReadLockFlag(ProcessState& state, bool& locked) {
    return AtLockStep(state, kReadingTheLock, [&] {
        Connection& connection = Warehouse(state);
        locked = false;
        if (HasLockRow(connection)) {
            if (const auto row = ReadRow(connection, sql::SelectLockRow())) locked = row->Lock;
        }
    });
}

bool ReadOwnLock(ProcessState& state) {
    state.LockNotes.clear();
    return AtLockStep(state, kReadingTheLock, [&state] {
        Connection& connection = Warehouse(state);
        std::optional<LockRow> row;
        if (HasLockRow(connection)) row = ReadRow(connection, sql::SelectLockRow());
        bool own = false;
        if (row && row->Lock && row->UserName == CurrentUserName()) {
            LiveLock& live = LiveLockOf(state, connection);
            std::string reason;
            if (state.LockHeld && live.IsHeld()) {
                // Held since an earlier action: on SQL Server the lock may have gone
                // with that action's connection, so it is held again on this one.
                HoldLiveLock(state, connection);
                own = true;
            } else {
                // A lock of this user counts as this window's own only when no other
                // live process holds it (another run or window of the same user).
                switch (live.HoldIfNobodyElse(connection, reason)) {
                    case LiveLock::Outcome::Held:
                        own = true;
                        break;
                    case LiveLock::Outcome::Unavailable:
                        NoteUnrecognisable(state, reason);
                        own = true;
                        break;
                    case LiveLock::Outcome::HeldElsewhere:
                        break;
                }
            }
        }
        if (!own) ReleaseLiveLock(state, &connection);
        state.LockHeld = own;
    });
}

void HoldLiveLockAgain(ProcessState& state) {
    state.LockNotes.clear();
    auto& warehouse = state.WarehouseConnection;
    if (state.LockHeld && warehouse && warehouse->IsOpen()) HoldLiveLock(state, *warehouse);
}

}  // namespace varnel
