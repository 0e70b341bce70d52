#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("Расчет потокораспределения электрической сети Tarvel 2.0"));
    window.show();
    return app.exec();
}
