vs.1.1
mov oPos, v0
mov oD0, c4
