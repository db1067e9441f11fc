// A call above the layer written without any include: the program must not link.
namespace ferolan {
struct Module;
void Command9_Click(Module& m);
}  // namespace ferolan

int main(int argc, char**) {
  if (argc > 99) ferolan::Command9_Click(*reinterpret_cast<ferolan::Module*>(&argc));
  return 0;
}
