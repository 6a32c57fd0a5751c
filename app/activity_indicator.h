#pragma once

// A small turning wheel that shows a transfer is running; hidden while idle.

#include <QTimer>
#include <QWidget>

class TActivityIndicator : public QWidget {
  public:
    explicit TActivityIndicator(QColor colour, QWidget* parent = nullptr);

    // Shows the wheel and starts it turning.
    void Play();
    // Stops and hides it.
    void Stop();
    bool Active() const { return Turning.isActive(); }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor Colour;
    QTimer Turning;
    int Step = 0;
};
