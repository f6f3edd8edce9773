# The demo's loaders use the image reader and the file systems; programs that link the
# demo outside the engine group (the start-up benchmark) get them after it.
target_link_libraries(kestol_demo PUBLIC kestol_image kestol_fs kestol_gfx kestol_app)
