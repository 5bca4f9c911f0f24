// The program entry: creates the application and the main window and runs the message loop.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow w;
    w.setObjectName("fmMain");
    w.setWindowTitle("Larderly");
    w.resize(800, 600);
    w.show();
    return app.exec();
}
