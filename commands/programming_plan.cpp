#include "commands/programming_plan.h"

#include "commands/program_command.h"

namespace commands {

ProgrammingPlan PlanProgramming(const eeprom::Image& read, const SettingsChange& change, int32_t today)
{
    const DecodedEncoder decoded = Decode(read);
    ProgrammingPlan plan;
    plan.encoder = DescribeEncoder(read);
    plan.lists = ListsOf(decoded);
    plan.refusal = WhyNot(change, plan.lists);
    plan.image = read;
    if (!plan.refusal) plan.image = ProgrammedImage(read, Applied(change, plan.lists, decoded.configBlock), today);
    plan.after = DescribeEncoder(plan.image).settings;
    return plan;
}

}  // namespace commands
