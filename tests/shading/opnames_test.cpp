#include "shading_shaderfile/opnames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace shading;

TEST(OpNames, TableHoldsEveryNameOnceInItsGroups)
{
    int count = 0;
    const OpName *ops = op_names(&count);
    ASSERT_EQ(count, 358);
    std::set<std::string> names;
    int per_group[3] = {};
    int per_count[3] = {};
    for (int i = 0; i < count; i++) {
        EXPECT_TRUE(names.insert(ops[i].name).second) << ops[i].name;
        EXPECT_GE(ops[i].opcode, 1);
        EXPECT_LE(ops[i].opcode, MAX_OPCODE);
        per_group[int(ops[i].group)]++;
        per_count[ops[i].operands]++;
    }
    EXPECT_EQ(per_group[int(OpGroup::Core)], 168);
    EXPECT_EQ(per_group[int(OpGroup::Geometry)], 184);
    EXPECT_EQ(per_group[int(OpGroup::Texture)], 6);
    EXPECT_EQ(per_count[0], 266);
    EXPECT_EQ(per_count[1], 72);
    EXPECT_EQ(per_count[2], 20);
    // Registration order: the groups follow each other.
    EXPECT_STREQ(ops[0].name, "return");
    EXPECT_STREQ(ops[168].name, "ptransform");
    EXPECT_STREQ(ops[352].name, "ftexture");
    EXPECT_STREQ(ops[357].name, "bump");
}

TEST(OpNames, UnusedOpcodesHaveNoName)
{
    const std::set<int> unused = {25, 26, 27, 43, 44, 91, 92, 202, 211, 212, 213, 214};
    for (int op = 1; op <= MAX_OPCODE; op++)
        EXPECT_EQ(first_op_name(op) == nullptr, unused.count(op) == 1) << op;
    EXPECT_EQ(first_op_name(0), nullptr);
    EXPECT_EQ(first_op_name(MAX_OPCODE + 1), nullptr);
    EXPECT_EQ(first_op_name(-1), nullptr);
}

TEST(OpNames, LookupByNameAndFirstNameOfAnOpcode)
{
    const OpName *op = find_op_name("cpCC");
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->opcode, 23);
    EXPECT_EQ(op->operands, 2);
    EXPECT_STREQ(first_op_name(23)->name, "cpVV");
    EXPECT_STREQ(first_op_name(101)->name, "ftov");
    EXPECT_STREQ(first_op_name(153)->name, "ptransform");
    EXPECT_EQ(find_op_name("dsoop")->operands, 1);
    EXPECT_EQ(find_op_name("textureinfoM")->group, OpGroup::Geometry);
    EXPECT_EQ(find_op_name("shadow")->group, OpGroup::Texture);
    // Names the compiler could form but the interpreter lacks.
    for (const char *missing : {"cpMM", "addmm", "fton", "smix", "Derivm", "ambience"})
        EXPECT_EQ(find_op_name(missing), nullptr) << missing;
    EXPECT_EQ(find_op_name(nullptr), nullptr);
    EXPECT_EQ(find_op_name("PUSHIF"), nullptr);
}

TEST(OpNames, LabelOperandsAreTheJumpsAndTheLightBlocks)
{
    // The loader makes these operands code offsets; the interpreter continues there.
    int count = 0;
    const OpName *ops = op_names(&count);
    std::set<std::string> label_ops;
    for (int i = 0; i < count; i++) {
        if (!ops[i].label)
            continue;
        label_ops.insert(ops[i].name);
        EXPECT_EQ(ops[i].operands, 1) << ops[i].name;
    }
    const std::set<std::string> jumps = {"ifz", "ifnz", "jump", "illuminate1", "illuminate3", "solar0",
                                         "solar2", "illuminance1", "illuminance2", "illuminance3",
                                         "illuminance4", "ambience0"};
    EXPECT_EQ(label_ops, jumps);
}
