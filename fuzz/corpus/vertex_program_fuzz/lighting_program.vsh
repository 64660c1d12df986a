vs.1.1
dp4 oPos.x, v0, c0             ; clip position: the vertex through W*V*P
dp4 oPos.y, v0, c1
dp4 oPos.z, v0, c2
dp4 oPos.w, v0, c3
dp3 r1.x, v3, c7               ; normal into world space (rotation part of W)
dp3 r1.y, v3, c8
dp3 r1.z, v3, c9
dp4 r2.x, v0,c7                ; vertex into world space, translation from .w
dp4 r2.y, v0,c8
dp4 r2.z, v0,c9
dp3  r11.x, r1.xyz, r1.xyz     ; the world normal may be scaled: renormalise
rsq  r11.y, r11.x
mul  r1.xyz, r1.xyz, r11.y
sub  r0, c5.xyz, r2.xyz        ; towards the light at the camera
dp3  r11.x, r0, r0
rsq  r11.y, r11.x              ; r11.y = 1 / distance to the light
mul  r0, r0, r11.y
dp3 r0.x, r1, r0               ; N.L
max r0.x, r0.x, c6.x           ; surfaces facing away still get the floor
mul r11.y, r11.y, c6.y         ; attenuation: scale / distance
max r11.y, r11.y, c6.z         ; far vertices keep the attenuation floor
mov oT0, v7                    ; texture coordinate unchanged
mul oD0, r0.x, r11.y           ; grey level in every channel, alpha too
