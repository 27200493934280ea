#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quilmar1.3");
    QMainWindow w;
    w.setWindowTitle("Quilmar 1.3");
    w.resize(800, 600);
    w.show();
    return app.exec();
}
