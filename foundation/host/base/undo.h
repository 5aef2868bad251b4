#pragma once
/// Undo and redo: `theHold` collects restore records between Begin and Accept into one
/// labelled undo entry. Holds nest: inner Accepts merge into the outermost, whose label
/// names the entry. Window-thread only.

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
    /// True while a hold is open and not suspended: changes should Put records.
    int Holding() const;
    /// Takes ownership of `rec`; outside a hold it is deleted at once.
    void Put(RestoreObj* rec);
    void Suspend();
    void Resume();

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
