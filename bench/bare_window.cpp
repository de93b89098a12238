// The least a Qt program with the main window's shape does: one frameless, translucent,
// stay-on-top tool window of 424 x 544 that paints a filled picture. scripts/measure-startup
// measures the program's start-up time and memory against it. Prints nothing; runs until ended.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

namespace {

class BareWindow : public QWidget {
public:
    BareWindow()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
        , m_Image(424, 544, QImage::Format_ARGB32_Premultiplied)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
        setWindowTitle("TOLV bare window");
        m_Image.fill(qRgba(40, 44, 52, 230));
        resize(m_Image.size());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, m_Image);
    }

private:
    QImage m_Image;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    BareWindow window;
    window.show();
    return QApplication::exec();
}
