#include <QTest>
class T : public QObject { Q_OBJECT };
QTEST_MAIN(T)
#include "test_pty_e2e.moc"
