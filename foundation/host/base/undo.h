#pragma once
/// Undo and redo: `theHold` collects restore records between Begin and Accept into one
/// labelled undo entry. Holds nest: inner Accepts merge into the outermost, whose label
/// names the entry. Window-thread only; a thread that works on private copies of objects
/// (the editor's preview renders) calls KeepOffRecordOnThisThread, and records nothing.

#include <memory>
#include <string>
#include <vector>

/// One reversible change.
class RestoreObj {
  public:
    virtual ~RestoreObj() = default;
    /// Puts the state back as it was before the change.
    virtual void Restore(int isUndo) = 0;
    /// Applies the change again.
    virtual void Redo() = 0;
    virtual std::string Description() { return "restore"; }
};

class Hold {
  public:
    Hold();
    ~Hold();
    void Begin();
    /// Ends a hold level; at the outermost level the records become one entry labelled
    /// `label` (no entry when nothing was recorded).
    void Accept(const char* label);
    /// Ends all levels, restoring and dropping what was recorded.
    void Cancel();
    /// True while a hold is open and not suspended: changes should Put records. Always
    /// false on a thread kept off the record.
    int Holding() const;
    /// Takes ownership of `rec`; outside a hold it is deleted at once.
    void Put(RestoreObj* rec);
    void Suspend();
    void Resume();
    /// From now on the calling thread never records: Holding() answers false there and Put
    /// deletes what it is given, without reading the hold's state.
    static void KeepOffRecordOnThisThread();

    bool Undo();
    bool Redo();
    int UndoCount() const;
    int RedoCount() const;
    std::string UndoLabel() const;  ///< label of the entry Undo would revert, or ""
    std::string RedoLabel() const;
    /// Drops every entry (a new scene).
    void Clear();

  private:
    struct Entry {
        std::string label;
        std::vector<std::unique_ptr<RestoreObj>> records;
    };
    int level_ = 0;
    int suspended_ = 0;
    std::vector<std::unique_ptr<RestoreObj>> open_;
    std::vector<Entry> undo_;
    std::vector<Entry> redo_;
};

/// The one hold of the process.
extern Hold theHold;
