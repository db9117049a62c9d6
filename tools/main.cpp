#include "tools/tool_main.h"

int main(int argc, char** argv) { return sp::tool::ToolMain(argc, argv); }
