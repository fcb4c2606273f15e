#pragma once
// The image libraries under Qt's readers speak for themselves: libpng and
// libtiff print their errors straight to the process's stderr, Qt's readers
// pass their warnings on as Qt messages. Neither is for our users: a failure
// is one line of ours, naming the file and the reason.

#include <QtGlobal>

// While it lives, what is written to file descriptor 2 goes nowhere. For the
// span of one picture's decoding on the thread that decodes it; a second
// one on another thread waits for the first.
class QuietStderr
{
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr &) = delete;
    QuietStderr &operator=(const QuietStderr &) = delete;

private:
    int saved = -1;
};

// Installs a Qt message handler that drops the messages of Qt's image
// readers and writers and hands every other one to the handler installed
// before it.
void DropImageReaderMessages();
