#include "app/activity_indicator.h"

#include <QPainter>

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMs = 80;
}  // namespace

TActivityIndicator::TActivityIndicator(QColor colour, QWidget* parent)
    : QWidget(parent), Colour(colour) {
    setFixedSize(24, 24);
    Turning.setInterval(kStepMs);
    connect(&Turning, &QTimer::timeout, this, [this] {
        Step = (Step + 1) % kSpokes;
        update();
    });
    hide();
}

void TActivityIndicator::Play() {
    show();
    Turning.start();
}

void TActivityIndicator::Stop() {
    Turning.stop();
    hide();
}

void TActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    qreal radius = qMin(width(), height()) / 2.0;
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade out.
        int age = (Step - i + kSpokes) % kSpokes;
        QColor c = Colour;
        c.setAlphaF(1.0 - age / static_cast<qreal>(kSpokes));
        p.setPen(QPen(c, radius * 0.22, Qt::SolidLine, Qt::RoundCap));
        p.save();
        p.rotate(i * 360.0 / kSpokes);
        p.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        p.restore();
    }
}
