#pragma once
// A warm controller with fixed values, offered as COM<port>, for the logger's program tests.
#include "tools/ControllerEmulator.h"

#include <memory>

inline std::unique_ptr<sim::ControllerEmulator> StartController(int port,
                                                                sim::EmulatorOptions options = {}) {
    options.port = port;
    options.warmupSeconds = 0;
    options.pattern = sim::LambdaPattern::Constant;
    options.lambda = {0.98765, 1.0234, 0.85, 1.0};
    options.supplyRaw = 200;
    auto controller = std::make_unique<sim::ControllerEmulator>(options);
    controller->Start();
    return controller;
}
