#include "streams/fragment.h"

LVStreamFragment::LVStreamFragment(const StreamHandle& base, lvpos_t start, lvsize_t size)
    : base_(base) {
    setOpenMode(OpenModeRead);
    lvsize_t baseSize = 0;
    if (!base_ || start < 0 || base_->GetSize(&baseSize) != ResultOk) return;
    int64_t end = static_cast<int64_t>(start) + size;
    if (end > static_cast<int64_t>(baseSize)) end = baseSize;
    if (end <= start) return;
    start_ = start;
    size_ = static_cast<lvsize_t>(end - start);
}

LVResult LVStreamFragment::Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) {
    int64_t target = 0;
    if (!seekTarget(offset, origin, pos_, size_, target)) return ResultFail;
    pos_ = static_cast<lvpos_t>(target);
    if (newPosition) *newPosition = pos_;
    return ResultOk;
}

LVResult LVStreamFragment::SetSize(lvsize_t size) {
    (void)size;
    return ResultNotImplemented;
}

LVResult LVStreamFragment::Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!buffer && count > 0) return ResultFail;
    int64_t left = static_cast<int64_t>(size_) - pos_;
    if (left <= 0 || count == 0) return ResultOk;
    lvsize_t want = static_cast<int64_t>(count) < left ? count : static_cast<lvsize_t>(left);
    int64_t at = static_cast<int64_t>(start_) + pos_;  // inside the window, so below 2^31
    if (base_->SetPos(static_cast<lvpos_t>(at)) != at) return ResultFail;
    lvsize_t got = 0;
    LVResult result = base_->Read(buffer, want, &got);
    if (got > want) got = want;  // never account for more than was asked
    pos_ = static_cast<lvpos_t>(pos_ + static_cast<int64_t>(got));
    if (bytesRead) *bytesRead = got;
    return result;
}

LVResult LVStreamFragment::Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) {
    (void)buffer;
    (void)count;
    if (bytesWritten) *bytesWritten = 0;
    return ResultNotImplemented;
}
