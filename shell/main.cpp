#include <QApplication>
#include <QMainWindow>

// Bare start-up window until the main window arrives.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KR"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Varnel Kestrune    Version :1.0.9"));
    window.resize(664, 541);
    window.show();
    return app.exec();
}
