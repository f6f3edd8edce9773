# The compositing loops run over every pixel every frame: let the compiler vectorise the
# plain fills and copies too.
target_compile_options(kestol_gfx PRIVATE -O3)
