// A label that looks and acts like a link: hand cursor, link colour, underlined, clickable.
#pragma once

#include <QLabel>

class TLinkLabel : public QLabel {
    Q_OBJECT

  public:
    explicit TLinkLabel(QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
