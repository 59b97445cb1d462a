#pragma once

#include <QWidget>

#include <filesystem>
#include <optional>

class QLabel;
class QPushButton;

namespace morrowdeck {

class ElidedLabel;

// One folder of the restore window: a symbol, the folder's name over its full path (or a
// placeholder title and hint while none is chosen) and a "Choose…" button.
class LocationRow final : public QWidget {
    Q_OBJECT
  public:
    LocationRow(const QString& symbol, QString placeholderTitle, QString placeholderSubtitle,
                QWidget* parent = nullptr);

    void setFolder(const std::optional<std::filesystem::path>& folder);

    QString title() const;
    QString subtitle() const;
    QPushButton* chooseButton() const { return choose_; }

  private:
    QString placeholderTitle_;
    QString placeholderSubtitle_;
    QLabel* title_;
    ElidedLabel* subtitle_;
    QPushButton* choose_;
};

}  // namespace morrowdeck
