vs.1.1
dcl_position v0
m4x4 oPos, v0, c0
rsq r0.w, r0.w
mad r1, v3, c5.xxxx, -c6
expp r2, r0.x
logp r3, r0.y
lit r4, r1
max r5, r1, c7
slt r6, r0, r1
mov a0.x, r0.x
mov oT0.xy, c[a0.x + 2]
