// main.cpp -- nvrpack's entry point: hands the arguments and the built-in
// default install module to RunNvrpack. Holds no logic of its own.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "platform.h"

#ifndef NVR_DEFAULT_MODULE
#define NVR_DEFAULT_MODULE ""
#endif

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return nvrpack::RunNvrpack(args, NVR_DEFAULT_MODULE, std::cout, std::cerr, nvrpack::IsTerminal(stderr));
}
