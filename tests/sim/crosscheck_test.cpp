// The simulator keeps its own register table; these tests hold it against
// the program's register map, so that a slip in either one shows.
#include "setup/enumerations.h"
#include "setup/registermap.h"
#include "sim/simregisters.h"

#include <gtest/gtest.h>

TEST(RegisterCrossCheck, EveryMappedRegisterExistsInTheSimulator)
{
    for (const RegisterInfo &r : RegisterMap())
        EXPECT_NE(FindSimRegister(r.address), nullptr) << std::hex << r.address;
}

TEST(RegisterCrossCheck, EveryReadBlockReads)
{
    for (const ReadBlock &b : ReadBlocks())
        for (int a = b.start; a < b.start + b.count; ++a)
            EXPECT_NE(FindSimRegister(a), nullptr) << "step " << b.step << std::hex << " " << a;
    for (const ReadBlock &b : ProgramReadBlocks())
        for (int a = b.start; a < b.start + b.count; ++a)
            EXPECT_NE(FindSimRegister(a), nullptr) << std::hex << a;
}

TEST(RegisterCrossCheck, WriteAccessAgrees)
{
    for (const RegisterInfo &r : RegisterMap()) {
        const SimRegister *s = FindSimRegister(r.address);
        ASSERT_NE(s, nullptr);
        const bool mapReadOnly = r.write == WriteForm::None;
        EXPECT_EQ(mapReadOnly, s->access == SimAccess::ReadOnly) << std::hex << r.address;
        const bool simUnlock = s->access == SimAccess::Unlock || s->access == SimAccess::Command;
        EXPECT_EQ(r.unlock, simUnlock) << std::hex << r.address;
    }
}

// A list register takes exactly the values of its enumeration (the unit
// register also takes engineering units 2 and 3; the on-line configuration
// word 0x4717 is a bit field whose bit 0 carries the enumeration).
TEST(RegisterCrossCheck, ListRegistersTakeTheirEnumerations)
{
    for (const Enumeration &e : Enumerations()) {
        for (int reg : e.registers) {
            if (reg == Reg::OnlineConfigWord)
                continue;
            const SimRegister *s = FindSimRegister(reg);
            ASSERT_NE(s, nullptr) << std::hex << reg;
            for (int v = 0; v <= 20; ++v) {
                const bool expected = e.contains(v) || (reg == Reg::Unit && (v == 2 || v == 3));
                EXPECT_EQ(s->accepts(v), expected) << std::hex << reg << std::dec << " value " << v;
            }
            EXPECT_FALSE(s->accepts(0xFFFF)) << std::hex << reg;
        }
    }
}

TEST(RegisterCrossCheck, FactoryValuesAreValid)
{
    for (const SimRegister &s : SimRegisterTable()) {
        if (s.access == SimAccess::ReadWrite || s.access == SimAccess::Unlock) {
            EXPECT_TRUE(s.accepts(s.factory)) << std::hex << s.address;
        }
    }
    EXPECT_EQ(FindSimRegister(Reg::IdentificationWord)->factory, IdentificationValue);
    EXPECT_EQ(FindSimRegister(Reg::ModelCode)->factory, ModelCode4848);
    EXPECT_EQ(Sim::CommandKey, CommandKey);
    EXPECT_EQ(FindSimRegister(Reg::PidGroup)->factory,
              FindSimRegister(Reg::PidGroupWrite)->factory);
    EXPECT_EQ(FindSimRegister(Reg::PidTarget)->factory,
              FindSimRegister(Reg::PidTargetWrite)->factory);
}
