#pragma once

#include <QLabel>

namespace morrowdeck {

// A one-line label that shortens its text in the middle ("/media/usb/…/Backups") to the
// width it is given, re-eliding on every resize; the full text stays in text() and the tool tip.
class ElidedLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void elide();

    QString fullText_;
};

}  // namespace morrowdeck
