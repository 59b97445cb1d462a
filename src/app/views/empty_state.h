#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace morrowdeck {

// A centred placeholder for a list or pane with nothing to show: a large dimmed symbol, a
// title, a description and, when given, one prominent button.
class EmptyState final : public QWidget {
    Q_OBJECT
  public:
    EmptyState(const QString& symbol, const QString& title, const QString& description,
               QWidget* parent = nullptr);

    // Adds the button under the description; returns it for connecting.
    QPushButton* addButton(const QString& text);

    QString title() const;
    QString description() const;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void paintSymbol();

    QString symbol_;
    QLabel* symbolLabel_;
    QLabel* titleLabel_;
    QLabel* descriptionLabel_;
};

}  // namespace morrowdeck
