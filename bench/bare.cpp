// A bare Qt Widgets program that starts and exits: the floor bench/run holds pictorn's start-up
// against.

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return 0;
}
