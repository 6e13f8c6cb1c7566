// BqTestMy: the exam client. Its command line and modes: client/qt/app.h.
#include "client/qt/app.h"

int main(int argc, char** argv) { return bq::client::runProgram(argc, argv); }
