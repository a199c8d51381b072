// The simulator's faults, which the soak runs the worker against.
#include "bytes.h"
#include "lmsim/faults.h"
#include <gtest/gtest.h>

using namespace lmsim;
using qsmtest::Bytes;

TEST(LmsimFaults, WhatEachFaultSendsInTurn)
{
    const std::string ink = Bytes({0x81, 0, 0x48}), material = Bytes({0x86, 0}) + "PLA-7";
    const struct {
        Fault fault;
        std::string answer;
        std::vector<std::string> sent;
        bool close;
    } cases[] = {
        {Fault::None, ink, {ink, ink}, false},
        {Fault::Drop, ink, {"", ""}, true},
        {Fault::Stall, ink, {ink, ink, "", ""}, false}, // after 2
        {Fault::Short, material, {material.substr(0, 1), material.substr(0, 2), material.substr(0, 6)}, false},
        {Fault::Short, Bytes({0x81, 0}), {Bytes({0x81}), Bytes({0x81})}, false}, // never the whole answer
    };
    for (const auto& c : cases) {
        FaultShaper shaper(c.fault, 2, 1);
        for (size_t i = 0; i < c.sent.size(); ++i) {
            const Plan p = shaper.Shape(c.answer);
            std::string all;
            for (const Burst& b : p.bursts)
                all += b.bytes;
            EXPECT_EQ(all, c.sent[i]) << FaultName(c.fault) << " #" << i;
            EXPECT_EQ(p.close, c.close);
        }
    }
    EXPECT_GE(FaultShaper(Fault::Slow, 0, 1).Shape(ink).bursts.size(), 2u);
}
