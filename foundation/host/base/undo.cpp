#include "foundation/host/base/undo.h"

#include <algorithm>

Hold theHold;

namespace {
thread_local bool tOffRecord = false;
}  // namespace

void Hold::KeepOffRecordOnThisThread() { tOffRecord = true; }

Hold::Hold() = default;
Hold::~Hold() = default;

void Hold::Begin() { ++level_; }

void Hold::Accept(const char* label) {
    if (level_ == 0) return;
    if (--level_ > 0) return;
    if (open_.empty()) return;
    Entry e{label ? label : "", std::move(open_)};
    open_.clear();
    undo_.push_back(std::move(e));
    redo_.clear();
}

void Hold::Cancel() {
    level_ = 0;
    std::vector<std::unique_ptr<RestoreObj>> recs = std::move(open_);
    open_.clear();
    for (auto it = recs.rbegin(); it != recs.rend(); ++it) (*it)->Restore(0);
}

int Hold::Holding() const { return !tOffRecord && level_ > 0 && suspended_ == 0; }

void Hold::Put(RestoreObj* rec) {
    std::unique_ptr<RestoreObj> owned(rec);
    if (Holding()) open_.push_back(std::move(owned));
}

void Hold::Suspend() { ++suspended_; }
void Hold::Resume() {
    if (suspended_ > 0) --suspended_;
}

bool Hold::Undo() {
    if (undo_.empty() || level_ > 0) return false;
    Entry e = std::move(undo_.back());
    undo_.pop_back();
    ++suspended_;  // restoring must not record
    for (auto it = e.records.rbegin(); it != e.records.rend(); ++it) (*it)->Restore(1);
    --suspended_;
    redo_.push_back(std::move(e));
    return true;
}

bool Hold::Redo() {
    if (redo_.empty() || level_ > 0) return false;
    Entry e = std::move(redo_.back());
    redo_.pop_back();
    ++suspended_;
    for (auto& r : e.records) r->Redo();
    --suspended_;
    undo_.push_back(std::move(e));
    return true;
}

int Hold::UndoCount() const { return static_cast<int>(undo_.size()); }
int Hold::RedoCount() const { return static_cast<int>(redo_.size()); }
std::string Hold::UndoLabel() const { return undo_.empty() ? "" : undo_.back().label; }
std::string Hold::RedoLabel() const { return redo_.empty() ? "" : redo_.back().label; }

void Hold::Clear() {
    undo_.clear();
    redo_.clear();
    open_.clear();
    level_ = 0;
}
