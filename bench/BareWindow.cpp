// The floor scripts/bench-app.sh measures the application against: a bare Qt
// window whose label changes once a second, as the application's window
// changes its figures once a second.
#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label;
    label.setMinimumSize(360, 120);
    const auto tick = [&label] { label.setText(QTime::currentTime().toString(Qt::ISODate)); };
    tick();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &label, tick);
    timer.start(1000);
    label.show();
    return QApplication::exec();
}
