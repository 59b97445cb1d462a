#pragma once

#include <QObject>
#include <optional>

#include "app/notice.h"

namespace morrowdeck {

// The one problem a window shows in its message bar: the latest reported and neither fixed
// nor dismissed. Models report problems here and take them back when fixed; the bar follows.
//
// Threads: UI thread only. changed() fires only on a real change.
class NoticeSource final : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    const std::optional<Notice>& notice() const { return notice_; }
    // Shows `notice` in place of any other.
    void show(Notice notice);
    // Takes back the notice shown if it is about `subject` (that problem is fixed).
    void clear(Notice::Subject subject);
    // The user closed the bar.
    void dismiss();

  signals:
    void changed();

  private:
    std::optional<Notice> notice_;
};

}  // namespace morrowdeck
