#include "app/notice_source.h"

#include <utility>

namespace morrowdeck {

void NoticeSource::show(Notice notice) {
    if (notice_ == notice) return;
    notice_ = std::move(notice);
    emit changed();
}

void NoticeSource::clear(Notice::Subject subject) {
    if (notice_ && notice_->subject == subject) dismiss();
}

void NoticeSource::dismiss() {
    if (!notice_) return;
    notice_.reset();
    emit changed();
}

}  // namespace morrowdeck
